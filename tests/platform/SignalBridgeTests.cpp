#include "platform/base/PoolThreads.h"
#include "platform/base/SignalBridge.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QFile>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

using namespace crel;

#if !defined(__SANITIZE_ADDRESS__)
// While set, each new thread sleeps this long before it runs, as on a machine
// too busy to schedule it.
static std::atomic<int> threadsLateMs = 0;
// While not negative, how many threads made from then on may be alive at
// once; one more fails with EAGAIN, as at a limit on tasks. A thread that is
// only ending is given a moment first: on a machine at rest it would be gone.
static std::atomic<int> threadsAllowed = -1;
static std::mutex aliveLock;
static std::condition_variable aliveChanged;
static int threadsAlive = 0;

static void threadEnded() {
  const std::lock_guard held(aliveLock);
  --threadsAlive;
  aliveChanged.notify_all();
}

extern "C" int pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*run)(void *), void *arg) {
  static const auto create = reinterpret_cast<decltype(&pthread_create)>(::dlsym(RTLD_NEXT, "pthread_create"));
  using Watched = std::pair<void *(*)(void *), void *>;
  const int allowed = threadsAllowed;
  if (threadsLateMs == 0 && allowed < 0)
    return create(thread, attr, run, arg);
  {
    std::unique_lock held(aliveLock);
    if (allowed >= 0 &&
        !aliveChanged.wait_for(held, std::chrono::seconds(1), [allowed] { return threadsAlive < allowed; }))
      return EAGAIN;
    ++threadsAlive;
  }
  auto *watched = new Watched(run, arg);
  const int made = create(
      thread, attr,
      [](void *given) {
        const Watched what = *std::unique_ptr<Watched>(static_cast<Watched *>(given));
        struct Ends {
          ~Ends() { threadEnded(); }
        } ends;
        QThread::msleep(threadsLateMs);
        return what.first(what.second);
      },
      watched);
  if (made != 0) {
    threadEnded();
    delete watched;
  }
  return made;
}
#endif

namespace {

// The row a fresh copy of this binary runs, and the pipe it says it is ready on.
constexpr const char *rowVariable = "CREL_SIGNAL_BRIDGE_ROW";
constexpr const char *readyVariable = "CREL_SIGNAL_BRIDGE_READY";

// Brings the room left in this process's address space down to `bytes`.
[[maybe_unused]] void limitMemory(rlim_t bytes) {
  QFile statm("/proc/self/statm");
  if (!statm.open(QIODevice::ReadOnly))
    ::_exit(2);
  const rlim_t used = rlim_t(statm.readAll().split(' ').value(0).toLongLong()) * ::getpagesize();
  const rlimit limit{used + bytes, used + bytes};
  ::setrlimit(RLIMIT_AS, &limit);
}

// Goes as a launch does with room for `share` of the pool's threads: the
// check, Qt's D-Bus connection (the next thread Qt starts), the loop, work
// for every pool thread, and the end through the application object's
// destructor, which waits for each. A refused check ends the launch with the
// threads sentence: status 1.
[[maybe_unused]] void launchRow(double share) {
  const int wanted = QThreadPool::globalInstance()->maxThreadCount();
  limitMemory(rlim_t(share * wanted) * (1 << 20) + (256 << 10));
  if (!PoolThreads::start())
    ::_exit(1);
  QDBusConnection::sessionBus();
  QTimer::singleShot(0, &QCoreApplication::quit);
  QCoreApplication::exec();
  QSemaphore done;
  for (int i = 0; i < 2 * wanted; ++i)
    QThreadPool::globalInstance()->start([&done] { done.release(); });
  if (!done.tryAcquire(2 * wanted, 5000))
    ::_exit(4);
}

#if !defined(__SANITIZE_ADDRESS__)
// The same, with room for every stack but tasks for only `share` of the
// pool's threads alive at once.
void tasksRow(double share) {
  threadsAllowed = int(share * QThreadPool::globalInstance()->maxThreadCount());
  launchRow(100);
}
#endif

struct Row {
  const char *name;
  bool signalled; // gets a SIGTERM once ready
  int status;     // the wait status
  std::function<void(SignalBridge &bridge, const std::function<void()> &ready)> run;
};

const std::vector<Row> &rows() {
  static const std::vector<Row> table{
    {"hung", true, SIGALRM,
     [](SignalBridge &, const std::function<void()> &ready) {
       ready();
       for (;;)
         ::pause();
     }},
        {"taken", true, 0,
         [](SignalBridge &bridge, const std::function<void()> &ready) {
           QObject::connect(&bridge, &SignalBridge::terminationRequested, [] {
             QThread::sleep(6);
             ::_exit(0);
           });
           ready();
           QCoreApplication::exec();
           ::_exit(1);
         }},
        // A second signal lands while the first is read; the loop goes on.
        {"secondDuringTheDrain", true, 0,
         [](SignalBridge &bridge, const std::function<void()> &ready) {
           QObject::connect(&bridge, &SignalBridge::terminationRequested, [] {
             static bool raised = false;
             if (std::exchange(raised, true))
               return;
             ::raise(SIGHUP);
             QTimer::singleShot(7000, [] { ::_exit(0); });
           });
           ready();
           QCoreApplication::exec();
           ::_exit(1);
         }},
        // The quit road the loop took outlasts the grace after a second signal.
        {"secondDuringTheQuitRoad", true, 0,
         [](SignalBridge &bridge, const std::function<void()> &ready) {
           QObject::connect(
               &bridge, &SignalBridge::terminationRequested, &bridge,
               [] {
                 ::raise(SIGHUP);
                 QThread::sleep(7);
                 ::_exit(0);
               },
               Qt::QueuedConnection);
           ready();
           QCoreApplication::exec();
           ::_exit(1);
         }},
        // Ctrl+Q started the quit road; a signal then does not cut it short.
        {"signalDuringAQuitRoadOfItsOwn", true, 0,
         [](SignalBridge &, const std::function<void()> &ready) {
           SignalBridge::quitRoadStarted();
           ready();
           QThread::sleep(7);
           ::_exit(0);
         }},
        // A quit road the user cancelled: a hang later is a hang again.
        {"hungAfterACancelledQuitRoad", true, SIGALRM,
         [](SignalBridge &, const std::function<void()> &ready) {
           SignalBridge::quitRoadStarted();
           SignalBridge::quitRoadCancelled();
           ready();
           for (;;)
             ::pause();
         }},
#if !defined(__SANITIZE_ADDRESS__) // AddressSanitizer needs the address space these rows limit
        {"somePoolThreadsFit", false, 1 << 8, [](SignalBridge &, const std::function<void()> &) { launchRow(0.5); }},
        {"noPoolThreadFits", false, 1 << 8, [](SignalBridge &, const std::function<void()> &) { launchRow(0); }},
        {"poolThreadsButNotQtsOwnFit", false, 1 << 8,
         [](SignalBridge &, const std::function<void()> &) { launchRow(1); }},
        // As under `ulimit -u`: room for every stack, not for every task at once.
        {"tasksForSomePoolThreads", false, 1 << 8,
         [](SignalBridge &, const std::function<void()> &) { tasksRow(0.5); }},
        {"tasksForThePoolButNotQtsOwn", false, 1 << 8,
         [](SignalBridge &, const std::function<void()> &) { tasksRow(1); }},
        {"threadsSlowToRun", false, 0, [](SignalBridge &, const std::function<void()> &) {
           threadsLateMs = 3000;
           launchRow(100);
         }},
#endif
  };
  return table;
}

// A termination request the event loop does not take in time (the main
// thread waits for something that never comes) ends the process by SIGALRM;
// once the loop took one, or the quit road started, later signals are left
// to it, however long it lasts. A launch short of threads ends at once; one
// whose threads are only slow reaches its loop. Each row runs in a fresh
// copy of this binary: a forked child would inherit a pool that counts
// threads it does not have.
TEST(SignalBridge, NoHangOutlivesATerminationRequest) {
  if (const QByteArray name = qgetenv(rowVariable); !name.isEmpty()) {
    const int readyFd = qEnvironmentVariableIntValue(readyVariable);
    for (const Row &row : rows())
      if (name == row.name) {
        SignalBridge *bridge = SignalBridge::install(nullptr);
        row.run(*bridge, [readyFd] { [[maybe_unused]] const ssize_t told = ::write(readyFd, "r", 1); });
        return;
      }
    ::_exit(1);
  }
  std::vector<pid_t> children;
  for (const Row &row : rows()) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(ready[0]);
      // Its own test run's lines are noise here.
      ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);
      ::setenv(rowVariable, row.name, 1);
      ::setenv(readyVariable, std::to_string(ready[1]).c_str(), 1);
      const std::string filter = "--gtest_filter=SignalBridge.NoHangOutlivesATerminationRequest";
      ::execl("/proc/self/exe", "/proc/self/exe", filter.c_str(), static_cast<char *>(nullptr));
      ::_exit(1);
    }
    ::close(ready[1]);
    char byte = 0;
    if (row.signalled && ::read(ready[0], &byte, 1) == 1)
      ::kill(child, SIGTERM);
    ::close(ready[0]);
    children.push_back(child);
  }
  const QDeadlineTimer deadline(20000);
  for (size_t i = 0; i < children.size(); ++i) {
    int status = 0;
    while (::waitpid(children[i], &status, WNOHANG) == 0 && !deadline.hasExpired())
      QThread::msleep(50);
    if (deadline.hasExpired() && ::waitpid(children[i], &status, WNOHANG) == 0) {
      ::kill(children[i], SIGKILL);
      ::waitpid(children[i], &status, 0);
    }
    EXPECT_EQ(status, rows()[i].status) << rows()[i].name;
  }
}

} // namespace
