#include "AppLaunch.h"

#include "document/CrelError.h"
#include "platform/base/QuietMessages.h"
#include "platform/display/SnapshotProvider.h"
#include "platform/display/X11Access.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/ResourceLocator.h"

#include <cstdio>
#include <cstdlib>

namespace crel {

namespace {

// Qt aborts when its platform plugin finds no server; decide before it tries.
// The windows need X11: on a Wayland session they go to XWayland whatever
// QT_QPA_PLATFORM says (wlroots set-ups often ask for "wayland").
void choosePlatform(bool runsHeadless) {
  const QByteArray requested = qgetenv("QT_QPA_PLATFORM");
  const bool wayland = SnapshotProvider::isWaylandSession(QProcessEnvironment::systemEnvironment());
  const bool overridden = wayland && !requested.startsWith("offscreen");
  if (!requested.isEmpty() && !requested.startsWith("xcb") && !overridden)
    return;
  if (X11Access::displayReachable()) {
    if (requested.isEmpty() || (overridden && !requested.startsWith("xcb")))
      qputenv("QT_QPA_PLATFORM", "xcb");
    return;
  }
  if (runsHeadless) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return;
  }
  const QString display = qEnvironmentVariable("DISPLAY");
  if (wayland)
    failAndExit(QStringLiteral("This Wayland session has no XWayland (%1), which Crel needs for its windows. Install "
                               "XWayland (the xwayland package), turn it on in your compositor and start Crel again.")
                    .arg(display.isEmpty() ? QStringLiteral("DISPLAY is not set")
                                           : QStringLiteral("no X11 display at %1").arg(display)));
  failAndExit(display.isEmpty() ? QStringLiteral("Cannot connect to an X11 display (DISPLAY is not set).")
                                : QStringLiteral("Cannot connect to the X11 display %1.").arg(display));
}

} // namespace

LaunchContext::LaunchContext(int &argc, char **argv, CommandLine commandLine, LaunchChoice choice)
    : argc_(argc), argv_(argv), commandLine_(std::move(commandLine)), choice_(std::move(choice)) {}

LaunchContext::~LaunchContext() = default;

CrelApplication &LaunchContext::application() {
  if (!application_) {
    choosePlatform(choice_.runsHeadless);
    application_ = std::make_unique<CrelApplication>(argc_, argv_);
    if (choice_.policy)
      application_->setActivationPolicy(*choice_.policy);
  }
  return *application_;
}

void failAndExit(const QString &description) {
  const QByteArray line = "FAIL: " + description.toLocal8Bit() + '\n';
  std::fflush(stdout);
  std::fputs(line.constData(), stderr);
  std::fflush(nullptr);
  std::_Exit(1);
}

void runOrFail(const std::function<void()> &work) {
  try {
    work();
  } catch (...) {
    failAndExit(CrelError::describe(std::current_exception(), QStringLiteral("An unknown error occurred.")));
  }
}

int launch(int argc, char **argv, const ModeTable &modes) {
  // Before Qt sees argv: it removes the options it knows.
  CommandLine commandLine = CommandLine::fromArgv(argc, argv);
  ResourceLocator::discoverFromExecutableOnly();
  const LaunchChoice choice = chooseLaunch(commandLine, AppIdentity::bundleIdentifier());
  // Headless modes print only their contracted lines.
  if (choice.runsHeadless)
    quietQtMessages();
  LaunchContext context(argc, argv, std::move(commandLine), choice);
  int status = 1;
  runOrFail([&] { status = modes.at(choice.mode)(context); });
  return status;
}

} // namespace crel
