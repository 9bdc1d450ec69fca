#pragma once

#include <QString>

namespace crel {
class AppDelegate;
}

// The end-to-end acceptance run inside the real, fully started application:
// it launches the fixture copy at `fixtureDir`, captures part of its window
// through the real hot key and selection, then drives the editor that opens
// with real input, printing one PASS line per check. Returns when every
// check passed; throws NativeTests::Failure at the first that failed, after
// the run's clean-up has put the user's state back. When
// CREL_ACCEPTANCE_OUTPUT names a folder, a failure also leaves there a dump
// of the accessible tree and a screenshot of every display.
namespace crel::NativeAcceptance {

void run(AppDelegate &delegate, const QString &fixtureDir);

} // namespace crel::NativeAcceptance
