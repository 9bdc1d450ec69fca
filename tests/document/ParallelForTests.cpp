#include "document/ParallelFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

using namespace crel;

// A worker's exception (say, memory running out while filtering a huge
// image) reaches the caller instead of ending the process, whichever thread
// throws it, and the next job runs as usual.
TEST(ParallelFor, AnExceptionReachesTheCallerFromAnyThread) {
  if (std::thread::hardware_concurrency() < 2)
    GTEST_SKIP() << "one core: every index runs on the calling thread";
  const auto caller = std::this_thread::get_id();
  for (const bool callerThrows : {false, true}) {
    std::atomic<bool> helperRan{false}, callerRan{false};
    auto body = [&](int) {
      const bool onCaller = std::this_thread::get_id() == caller;
      (onCaller ? callerRan : helperRan) = true;
      // Throw once both sides are known to be at work.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!(callerRan && helperRan) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
      if (onCaller == callerThrows)
        throw std::bad_alloc();
    };
    EXPECT_THROW(parallelFor(256, body, std::int64_t(1) << 30), std::bad_alloc) << callerThrows;
  }
  std::atomic<int> done{0};
  parallelFor(
      64, [&](int) { ++done; }, std::int64_t(1) << 30);
  EXPECT_EQ(done.load(), 64);
}
