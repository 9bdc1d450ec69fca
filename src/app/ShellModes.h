#pragma once

#include "AppLaunch.h"

namespace crel {

// The shell's own launch modes, for main's mode table.
namespace ShellModes {

// The real application: login item, test hooks, run loop. Returns when it quits.
int runApplication(LaunchContext &context);
int printDiagnostics(LaunchContext &context);
// Runs the loop until the display list has been asked for; always 0.
int printPermissionDiagnostics(LaunchContext &context);

// A mode whose part is not built yet: one FAIL line naming `what` (the
// switch that chose it when empty).
ModeRunner notBuilt(const QString &what = {});

} // namespace ShellModes

} // namespace crel
