#pragma once

namespace crel::FreedMemory {

// Gives the pages of freed heap memory back to the system, in every malloc
// arena (the workers' too). glibc keeps what is freed for reuse, and after
// one large screenshot that is over a hundred megabytes nobody may need
// again. Costs a walk over the heap: call it when a burst of work ends, not
// per operation. Any thread.
void giveBack();

// Work that will want its memory again soon (an open editor, the grab
// memory kept for a quick next capture) holds on: buffers freed meanwhile
// are reused without faulting their pages in afresh. When the last holder
// lets go, freed memory is given back. Any thread.
void hold();
void release();

} // namespace crel::FreedMemory
