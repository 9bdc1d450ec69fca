#pragma once

#include "SuiteTable.h"

namespace crel::SelfTestMode {

// Whether the command line asks for the regression run.
bool requested(int argc, char **argv);

// The whole mode, from before the application object exists to the exit
// status: the checks run headless on Qt's offscreen platform whatever display
// is around (nothing they build may appear or take focus), and Qt's own log
// is kept off the standard streams, which carry only the run's lines.
// Returns 0 after the closing line, 1 after one "FAIL: " line.
int exec(int &argc, char **argv, const NativeTests::SuiteTable &suites = NativeTests::suiteTable());

} // namespace crel::SelfTestMode
