#pragma once

#include "CommandLine.h"
#include "CrelApplication.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace crel {

// What one process is, decided once from its identity and arguments. The
// numbers are the rows in the order they are tested; the first that applies wins.
enum class LaunchMode {
  fixture = 1, // the acceptance fixture copy, whatever its arguments
  selfTest,
  renderStyles,
  exportArrowSvg,
  renderEditor,
  captureEditorLive,
  renderSettings,
  diagnostics,
  permissionDiagnostics,
  application, // the real application
  // Hidden, outside the rows above: the installer helper that the old
  // executable starts on quit to swap in an update. Tested with the switches.
  updateInstaller,
};

struct LaunchChoice {
  LaunchMode mode = LaunchMode::application;
  // Set by the mode itself; absent: left as it is.
  std::optional<ActivationPolicy> policy;
  // Whether the mode can run on Qt's offscreen platform when no X server
  // answers; such modes also keep Qt's log off the standard streams.
  bool runsHeadless = false;
  // The absolute path a path switch carries; empty for the others.
  QString path;
  // The switch that chose the mode; empty for the fixture and the application.
  QString flag;
};

LaunchChoice chooseLaunch(const CommandLine &commandLine, const std::optional<QString> &bundleIdentifier);

// Work the real application starts one second after launch when asked; each
// is scheduled independently, in this order.
struct TestHook {
  enum class Kind { updateAcceptance, acceptance, startupCheck };
  Kind kind;
  // The folder and scenario name, the fixture path, or the start-up check's
  // switch (the login variant when both are given).
  QStringList values;
};

std::vector<TestHook> testHooks(const CommandLine &commandLine);

// A test run that must never register a login item.
bool isTestRun(const CommandLine &commandLine);

// A switch of ours whose next argument is its value.
bool switchTakesValue(const QString &argument);

} // namespace crel
