#pragma once

#include "AppLaunch.h"

#include <functional>

namespace crel {

class AppDelegate;
class UpdaterService;

// The shell's own launch modes, for main's mode table.
namespace ShellModes {

// The end-to-end acceptance run over the running application and the
// fixture copy's folder; returns when it passed, throws when it failed.
using AcceptanceRun = std::function<void(AppDelegate &delegate, const QString &fixtureDir)>;
// One update scenario over the running application and its updater, given
// the evidence folder and the scenario's name; it ends the run itself, and
// a throw ends the process with the FAIL line.
using UpdateAcceptanceRun =
    std::function<void(AppDelegate &delegate, UpdaterService &updates, const QString &folder, const QString &scenario)>;

// The real application: login item, test hooks, run loop. Returns when it
// quits. `acceptance` serves --acceptance-test: one second after launch it
// runs, then the application quits; a throw cancels any capture and ends the
// process with the FAIL line. `updateAcceptance` serves --update-acceptance,
// one second after launch.
int runApplication(LaunchContext &context, const AcceptanceRun &acceptance,
                   const UpdateAcceptanceRun &updateAcceptance);
int printDiagnostics(LaunchContext &context);
// Runs the loop until the display list has been asked for; always 0.
int printPermissionDiagnostics(LaunchContext &context);

} // namespace ShellModes

} // namespace crel
