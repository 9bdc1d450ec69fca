#include "platform/base/SignalBridge.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace crel;

namespace {

// A termination request the event loop does not take in time (the main
// thread waits for something that never comes) ends the process by SIGALRM;
// one the loop takes is left to the quit road, however long that lasts.
TEST(SignalBridge, NoHangOutlivesATerminationRequest) {
  for (const bool loopRuns : {false, true}) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      SignalBridge *bridge = SignalBridge::install(nullptr);
      QObject::connect(bridge, &SignalBridge::terminationRequested, [] {
        QThread::sleep(6);
        ::_exit(0);
      });
      [[maybe_unused]] const ssize_t told = ::write(ready[1], "r", 1);
      while (!loopRuns)
        ::pause();
      QCoreApplication::exec();
      ::_exit(1);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    ::kill(child, SIGTERM);
    int status = 0;
    const QDeadlineTimer deadline(15000);
    while (::waitpid(child, &status, WNOHANG) == 0 && !deadline.hasExpired())
      QThread::msleep(50);
    if (deadline.hasExpired()) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
    }
    EXPECT_EQ(status, loopRuns ? 0 : SIGALRM) << (loopRuns ? "taken" : "hung");
  }
}

} // namespace
