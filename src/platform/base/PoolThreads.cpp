#include "PoolThreads.h"

#include <QSemaphore>
#include <QThreadPool>

#include <malloc.h>
#include <memory>
#include <pthread.h>
#include <sys/resource.h>
#include <vector>

namespace crel::PoolThreads {

namespace {

// What `ulimit -v` counts per thread, instead of the 8 MiB default; Qt's
// pool tasks are shallow.
constexpr int stackBytes = 1 << 20;

// A probe waits until every one was created, or one could not be, so that
// all exist together, as a limit on tasks counts them.
void *waitForTheRest(void *released) {
  static_cast<QSemaphore *>(released)->acquire();
  return nullptr;
}

// Whether `count` threads of the pool's stack size and one of the default
// size could all exist at once: for the stacks (`ulimit -v`) and for the
// tasks (`ulimit -u`, a pids cgroup). The probes are released once creation
// ended, however it ended, so none outlives the check. Joined, the C library
// keeps their stacks in its cache for the next threads of those sizes, so
// the room found stays theirs whatever is allocated in between.
bool threadsFit(int count) {
  pthread_attr_t small;
  ::pthread_attr_init(&small);
  ::pthread_attr_setstacksize(&small, stackBytes);
  QSemaphore released;
  std::vector<pthread_t> probes;
  bool fit = true;
  for (int i = 0; i <= count && fit; ++i) {
    pthread_t probe{};
    fit = ::pthread_create(&probe, i < count ? &small : nullptr, waitForTheRest, &released) == 0;
    if (fit)
      probes.push_back(probe);
  }
  released.release(int(probes.size()));
  for (const pthread_t probe : probes)
    ::pthread_join(probe, nullptr);
  ::pthread_attr_destroy(&small);
  return fit;
}

} // namespace

bool start() {
  // A thread's first allocation would reserve a malloc arena of its own, 64
  // MiB of address space each: under `ulimit -v` that is the room a thread
  // or an image needs later, so every thread shares the main one.
  rlimit space{};
  if (::getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY)
    ::mallopt(M_ARENA_MAX, 1);
  QThreadPool *pool = QThreadPool::globalInstance();
  const int wanted = pool->maxThreadCount();
  if (!threadsFit(wanted))
    return false;
  pool->setStackSize(stackBytes);
  pool->setExpiryTimeout(-1);
  // Each task holds its thread until all were handed out, so every one goes
  // to a thread of its own rather than to one that is free again. Shared
  // with the tasks: they may run after this returns.
  const auto handedOut = std::make_shared<QSemaphore>();
  for (int i = 0; i < wanted; ++i)
    pool->start([handedOut] { handedOut->acquire(); });
  handedOut->release(wanted);
  return true;
}

} // namespace crel::PoolThreads
