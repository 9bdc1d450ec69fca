#include "ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace crel {

void parallelFor(int count, const std::function<void(int)> &body, std::int64_t work) {
  constexpr std::int64_t minimumWorkPerThread = 1 << 16;
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int threads =
      static_cast<int>(std::min<std::int64_t>({cores, count, std::max<std::int64_t>(1, work / minimumWorkPerThread)}));
  if (threads <= 1) {
    for (int i = 0; i < count; ++i)
      body(i);
    return;
  }
  std::atomic<int> next{0};
  std::mutex errorMutex;
  std::exception_ptr error;
  // An exception leaving a thread's function ends the process; the first one
  // is kept for the caller instead, and the others stop taking work.
  auto run = [&] {
    try {
      for (int i = next++; i < count; i = next++)
        body(i);
    } catch (...) {
      const std::lock_guard lock(errorMutex);
      if (!error)
        error = std::current_exception();
      next = count;
    }
  };
  {
    std::vector<std::jthread> pool;
    pool.reserve(threads - 1);
    for (int t = 1; t < threads; ++t) {
      try {
        pool.emplace_back(run);
      } catch (const std::system_error &) {
        break; // out of threads: the ones running (and this one) share the rest
      }
    }
    run();
  } // joins
  if (error)
    std::rethrow_exception(error);
}

} // namespace crel
