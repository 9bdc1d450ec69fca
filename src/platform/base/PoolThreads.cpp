#include "PoolThreads.h"

#include <QDeadlineTimer>
#include <QSemaphore>
#include <QThreadPool>

#include <cstdio>
#include <malloc.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace crel::PoolThreads {

namespace {

// What `ulimit -v` counts per thread, instead of the 8 MiB default; Qt's
// pool tasks are shallow.
constexpr int stackBytes = 1 << 20;

bool someFailed = false;

} // namespace

int start(int waitMs) {
  // A thread's first allocation would reserve a malloc arena of its own, 64
  // MiB of address space each: under `ulimit -v` that is the room a thread
  // or an image needs later, so every thread shares the main one.
  rlimit space{};
  if (::getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY)
    ::mallopt(M_ARENA_MAX, 1);
  QThreadPool *pool = QThreadPool::globalInstance();
  pool->setStackSize(stackBytes);
  pool->setExpiryTimeout(-1);
  const int wanted = pool->maxThreadCount();
  // Shared with the tasks: one that starts after the wait still finds it.
  struct Gate {
    QSemaphore running;
    QSemaphore release;
  };
  const auto gate = std::make_shared<Gate>();
  // Each task holds its thread until all were handed out, so every one
  // goes to a thread of its own rather than to one that is free again.
  for (int i = 0; i < wanted; ++i)
    pool->start([gate] {
      gate->running.release();
      gate->release.acquire();
    });
  const QDeadlineTimer deadline(waitMs);
  int running = 0;
  while (running < wanted && gate->running.tryAcquire(1, int(deadline.remainingTime())))
    ++running;
  gate->release.release(wanted);
  someFailed = running < wanted;
  return running;
}

int finish(int status) {
  if (!someFailed)
    return status;
  std::fflush(nullptr);
  ::_exit(status);
}

} // namespace crel::PoolThreads
