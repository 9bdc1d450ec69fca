#pragma once

#include <QByteArray>

#include <cstdio>

namespace crel::bench {

// Headless Qt with the build tree's bundle (for its fonts), unless the
// caller's environment already chose otherwise. Call before the application object.
inline void useHeadlessQt() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("CREL_BUNDLE_DIR"))
    qputenv("CREL_BUNDLE_DIR", CREL_BENCH_BUNDLE_DIR);
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

} // namespace crel::bench
