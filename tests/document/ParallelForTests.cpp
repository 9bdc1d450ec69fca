#include "document/ParallelFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

using namespace crel;

// A worker's exception (say, memory running out while filtering a huge
// image) reaches the caller instead of ending the process, from whichever
// thread throws, once every other worker has stopped.
TEST(ParallelFor, AnExceptionReachesTheCallerFromAnyThread) {
  if (std::thread::hardware_concurrency() < 2)
    GTEST_SKIP() << "one core: every index runs on the calling thread";
  for (const bool callerThrows : {false, true}) {
    const auto caller = std::this_thread::get_id();
    std::atomic<bool> helperRan{false};
    std::atomic<int> running{0}, finished{0};
    auto body = [&](int) {
      ++running;
      const bool onCaller = std::this_thread::get_id() == caller;
      if (!onCaller)
        helperRan = true;
      if (onCaller == callerThrows) {
        // Throw only once the other side is known to be at work.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(callerThrows ? helperRan.load() : running > 1) && std::chrono::steady_clock::now() < deadline)
          std::this_thread::yield();
        throw std::bad_alloc();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      ++finished;
    };
    EXPECT_THROW(parallelFor(256, body, std::int64_t(1) << 30), std::bad_alloc) << callerThrows;
    EXPECT_LT(finished.load(), 256) << callerThrows;
  }
  // Nothing is left behind: the next job runs as usual.
  std::atomic<int> done{0};
  parallelFor(
      64, [&](int) { ++done; }, std::int64_t(1) << 30);
  EXPECT_EQ(done.load(), 64);
}
