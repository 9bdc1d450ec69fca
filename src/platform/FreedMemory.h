#pragma once

namespace crel::FreedMemory {

// Gives the pages of freed heap memory back to the system, in every malloc
// arena (the workers' too). glibc keeps what is freed for reuse, and after
// one large screenshot that is over a hundred megabytes nobody may need
// again. Costs a walk over the heap: call it when a burst of work ends (the
// last editor closed, the grab memory dropped), not per operation.
// Any thread.
void giveBack();

} // namespace crel::FreedMemory
