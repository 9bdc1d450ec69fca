#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <unistd.h>

namespace crel::bench {

// Headless Qt with the build tree's bundle (for its fonts), unless the
// caller's environment already chose otherwise. Call before the application object.
inline void useHeadlessQt() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("CREL_BUNDLE_DIR"))
    qputenv("CREL_BUNDLE_DIR", CREL_BENCH_BUNDLE_DIR);
}

// Runs the event loop for `ms` milliseconds.
inline void pumpFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Runs the loop until `done` holds (checked on every turn) or 20 s pass.
inline bool waitFor(const std::function<bool()> &done) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done())
      loop.quit();
  });
  QTimer::singleShot(20'000, &loop, &QEventLoop::quit);
  poll.start(0);
  loop.exec();
  return done();
}

// The line bench/run-all collects: "GOAL <name> <measured> <target> <MET|MISSED>".
inline void printGoal(const char *name, double measured, double target, bool met) {
  std::printf("GOAL %s %.3f %.3f %s\n", name, measured, target, met ? "MET" : "MISSED");
  std::fflush(stdout);
}

// For goals where lower is better.
inline void printGoal(const char *name, double measured, double target) {
  printGoal(name, measured, target, measured <= target);
}

// A goal whose measurement did not come out is missed.
inline void printGoal(const char *name, const std::optional<double> &measured, double target) {
  if (measured)
    printGoal(name, *measured, target);
  else
    std::printf("GOAL %s n/a %.3f MISSED\n", name, target);
}

// Runs this program again inside scripts/xvfb-testbed with `flags` (layout,
// helper), echoing what it prints and handing each line to `line`. False when
// it cannot start or ends with a failure.
inline bool runInTestbed(const std::string &testbedScript, const std::string &flags,
                         const std::function<void(const char *)> &line) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0)
    return false;
  self[n] = 0;
  const std::string command = testbedScript + " " + flags + " -- " + self + " 2>&1";
  std::fflush(stdout);
  FILE *pipe = popen(command.c_str(), "r");
  if (!pipe)
    return false;
  char text[1024];
  while (std::fgets(text, sizeof text, pipe)) {
    std::fputs(text, stdout);
    line(text);
  }
  return pclose(pipe) == 0;
}

// For a goal measured once inside the X test bed. Inside: runs the
// benchmarks, which set `measured`, and prints it for the outer run.
inline int runAndReportMeasured(int argc, char **argv, const std::optional<double> &measured) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (measured)
    std::printf("MEASURED %.3f\n", *measured);
  return measured ? 0 : 1;
}

// Outside: runs this program in the test bed and prints the goal line of
// what it measured.
inline int goalFromTestbed(const std::string &testbedScript, const char *goal, double target) {
  std::optional<double> measured;
  runInTestbed(testbedScript, "", [&](const char *line) {
    double value = 0;
    if (std::sscanf(line, "MEASURED %lf", &value) == 1)
      measured = value;
  });
  printGoal(goal, measured, target);
  return measured ? 0 : 1;
}

// For a program measured inside the X test bed: runs that part when the test
// bed is already there, else starts it and runs the outer part.
inline int insideTestbed(int argc, char **argv, int (*inner)(int, char **), int (*outer)()) {
  return qEnvironmentVariableIsEmpty("CREL_TESTBED_LAYOUT") ? outer() : inner(argc, argv);
}

} // namespace crel::bench
