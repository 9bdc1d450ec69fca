#pragma once

#include <cstdint>
#include <functional>

namespace crel {

// Runs body(0) … body(count - 1), spread over the machine's cores when the
// work is large enough to repay starting threads. Returns when all are done.
// `work` is a rough size of the whole job (e.g. pixels touched); below a
// threshold everything runs on the calling thread. Uses its own threads, not
// the global pool, so that long background jobs there cannot stall a paint.
// When a body throws, the remaining indices may be skipped and the first
// exception is rethrown here once every thread has finished.
void parallelFor(int count, const std::function<void(int)> &body, std::int64_t work);

} // namespace crel
