#include "ShellModes.h"

#include "AppDelegate.h"
#include "Diagnostics.h"
#include "ForwardedRequests.h"
#include "LaunchAtLogin.h"
#include "SessionStore.h"
#include "ShortcutManager.h"
#include "SingleInstance.h"
#include "StartupCheck.h"
#include "UpdateSessionStore.h"
#include "UpdaterService.h"
#include "capture/CaptureCoordinator.h"
#include "chrome/LightPalette.h"
#include "document/CrelStorage.h"
#include "platform/base/DescriptorLimit.h"
#include "platform/base/PoolThreads.h"
#include "platform/base/QuietMessages.h"
#include "platform/base/Translate.h"
#include "platform/clipboard/Pasteboard.h"
#include "platform/desktop/AutostartLoginItem.h"
#include "platform/desktop/DesktopIntegration.h"
#include "platform/desktop/NotificationCenter.h"
#include "platform/display/DisplayLoss.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/FileError.h"
#include "platform/files/ResourceLocator.h"
#include "platform/files/RuntimeFolder.h"
#include "platform/files/SettingsStore.h"
#include "platform/shortcuts/HotKeyBackend.h"
#include "update/framework/Updater.h"

#include <QDBusConnection>
#include <QDir>
#include <QLocale>
#include <QLoggingCategory>
#include <QTimer>
#include <QTranslator>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

namespace crel::ShellModes {

namespace {

Q_LOGGING_CATEGORY(lcLaunch, "crel.launch", QtWarningMsg)

// The status of a launch that handed its request to the running instance;
// none when this process is the instance (or runs without one).
std::optional<int> deferToRunningInstance(SingleInstance &instance, const CommandLine &commandLine) {
  if (instance.folder().isEmpty())
    return std::nullopt;
  try {
    if (instance.becomePrimary())
      return std::nullopt;
  } catch (const std::exception &error) {
    qCWarning(lcLaunch) << "running without the single-instance channel:" << error.what();
    return std::nullopt;
  }
  const std::optional<ForwardedLaunch> request = ForwardedLaunch::fromCommandLine(commandLine, QDir::currentPath());
  // A login launch while running changes nothing.
  if (!request)
    return 0;
  const std::optional<bool> answer = instance.forward(*request);
  if (!answer) {
    std::fprintf(stderr, "%s is already running but does not answer.\n", qPrintable(AppIdentity::name()));
    return 1;
  }
  return *answer ? 0 : 1;
}

// An installed copy belongs in the applications menu and the file manager's
// "Open With"; a copy that moved or was updated points the entry at itself.
void integrateWithDesktop(const CommandLine &commandLine) {
  if (!LaunchAtLogin::isInstalledApplication(commandLine, ResourceLocator::bundleDirectory(), QDir::homePath()))
    return;
  static constexpr const char *installedKey = "desktopEntryInstalled";
  SettingsStore &settings = SettingsStore::standard();
  const bool firstTime = !settings.value(QLatin1String(installedKey)).toBool();
  try {
    DesktopIntegration(DesktopIntegration::forThisProcess()).install(firstTime);
  } catch (const FileError &error) {
    qCWarning(lcLaunch).noquote() << "desktop entry:" << error.message();
    return;
  }
  if (firstTime) {
    settings.setValue(QLatin1String(installedKey), true);
    settings.sync();
  }
}

// A launch short of threads: Qt's pool or its D-Bus connection would wait
// for good, and any window (its accessibility) asks for that connection. It
// says so and ends at once, opening nothing; a kept session stays for the
// next start.
int refuseWithoutThreads() {
  QString said = crel::tr("The system would not give Crel the threads it needs to run: memory is short, or the "
                          "limit on your processes is reached. Close some programs, then start Crel again.");
  if (UpdateSessionStore().exists())
    said += QStringLiteral("\n\n") + SessionStore::notEnoughMemory();
  std::fprintf(stderr, "%s\n", qPrintable(said));
  return 1;
}

} // namespace

int runApplication(LaunchContext &context, const AcceptanceRun &acceptance,
                   const UpdateAcceptanceRun &updateAcceptance) {
  // A test run's standard streams carry only its check's lines.
  if (isTestRun(context.commandLine()))
    quietQtMessages();
  CrelApplication &app = context.application();
  app.setActivationPolicy(ActivationPolicy::regular);
  // The user's language where the bundle carries a table for it
  // (Resources/translations/crel_<locale>.qm); English otherwise.
  QTranslator translator;
  if (translator.load(QLocale(), QStringLiteral("crel"), QStringLiteral("_"),
                      ResourceLocator::resourcesDirectory() + QStringLiteral("/translations")))
    app.installTranslator(&translator);
  // Menus, alerts and dialogs are light like the windows, whatever the
  // desktop's theme (a dark one would otherwise reach every popup).
  LightPalette::install(app);
  const CommandLine &commandLine = context.commandLine();

  // A test run stands alone; any other launch defers to a running instance.
  const bool alone = isTestRun(commandLine);
  SingleInstance instance(alone ? QString() : SingleInstance::runtimeFolder(AppIdentity::identifier()),
                          alone ? QString() : RuntimeFolder::otherPlace(AppIdentity::identifier()));
  if (!alone && instance.folder().isEmpty())
    qCWarning(lcLaunch) << "running without the single-instance channel: no private runtime folder";
  instance.setPlaceChoice([] { return SingleInstance::runtimeFolder(AppIdentity::identifier()); });
  if (const std::optional<int> status = deferToRunningInstance(instance, commandLine))
    return *status;
  // The instance holds connections, editors' files and helpers' pipes; its
  // children get the usual limit back.
  DescriptorLimit::raise();
  // Before anything starts a thread (Qt's D-Bus connection does), so none
  // of Qt's waits is for one that does not exist.
  if (!PoolThreads::start())
    return refuseWithoutThreads();
  // Qt's D-Bus thread takes the room the check found before anything else can.
  QDBusConnection::sessionBus();

  integrateWithDesktop(commandLine);
  AutostartLoginItem loginItem(AutostartLoginItem::forThisProcess());
  LaunchAtLogin launchAtLogin(
      loginItem, SettingsStore::standard(),
      LaunchAtLogin::isInstalledApplication(commandLine, ResourceLocator::bundleDirectory(), QDir::homePath()));

  // Every service is built once here and lent to the delegate.
  ShortcutManager shortcuts(SettingsStore::standard());
  CaptureCoordinator capture;
  UpdaterService updates(SettingsStore::standard());
  UpdateSessionStore session;
  QObject::connect(&instance, &SingleInstance::checked, &updates,
                   [&updates](const QString &folder) { updates.controller().updater().followRuntimeFolder(folder); });
  DBusNotificationCenter notifications;
  AppDelegate delegate(
      {shortcuts, capture, updates, launchAtLogin, session, CrelStorage::defaultDirectory(), {}, &notifications});

  LaunchOptions options;
  options.launchedAtLogin = commandLine.isLoginLaunch();
  options.capture = commandLine.has(QStringLiteral("--capture"));
  // The update scenarios run the real updater and restore the update session.
  options.isolatedTest = isTestRun(commandLine) && !commandLine.has(QStringLiteral("--update-acceptance"));
  // Files named on the first launch open as they would in a running
  // instance; a test run's arguments are its own.
  if (const std::optional<ForwardedLaunch> request = ForwardedLaunch::fromCommandLine(commandLine, QDir::currentPath());
      request && !isTestRun(commandLine)) {
    options.openPaths = request->paths;
    options.notOpened = request->notOpened;
  }
  // Requests wait for the launch sequence: both are queued in order.
  ForwardedRequests requests(delegate, capture);
  instance.setHandler([&delegate, &requests](const ForwardedLaunch &request, const SingleInstance::Reply &reply) {
    QTimer::singleShot(0, &delegate, [&requests, request, reply] { requests.handle(request, reply); });
  });
  // The launch sequence runs once the loop is up, before any test hook.
  QTimer::singleShot(0, &app, [&delegate, options] {
    runOrFail([&] { delegate.launch(options); });
    qCInfo(lcLaunch) << "launch sequence finished";
  });
  for (const TestHook &hook : testHooks(commandLine)) {
    if (hook.kind == TestHook::Kind::startupCheck) {
      const bool loginVariant = hook.values.value(0) == QLatin1String("--login-startup-test");
      std::optional<QString> evidence;
      if (qEnvironmentVariableIsSet("NATIVE_LOGIN_TEST_RESULT"))
        evidence = qEnvironmentVariable("NATIVE_LOGIN_TEST_RESULT");
      QTimer::singleShot(1000, &app, [&delegate, loginVariant, evidence] {
        runOrFail([&] { StartupCheck::run(&delegate, loginVariant, evidence); });
      });
      continue;
    }
    if (hook.kind == TestHook::Kind::acceptance) {
      QTimer::singleShot(1000, &app, [&delegate, &capture, acceptance, fixture = hook.values.value(0)] {
        runOrFail([&] {
          try {
            acceptance(delegate, fixture);
          } catch (...) {
            capture.cancel();
            throw;
          }
          // A passed run ends the ordinary way; work it left open would need an answer nobody gives.
          if (delegate.requestQuit() != QuitController::Reply::now)
            throw std::runtime_error("the acceptance run left work the quit rule has to ask about");
        });
      });
      continue;
    }
    if (hook.kind == TestHook::Kind::updateAcceptance) {
      QTimer::singleShot(1000, &app, [&delegate, &updates, updateAcceptance, hook] {
        runOrFail([&] { updateAcceptance(delegate, updates, hook.values.value(0), hook.values.value(1)); });
      });
    }
  }

  // Qt ends the process at once when the display goes: what the quit road
  // does after the loop comes first.
  DisplayLoss::setEnding([&instance] {
    instance.release();
    Pasteboard::finishPastes();
  });
  const int status = app.exec();
  DisplayLoss::setEnding({});
  // A staged update installs only after the quit rule let the run end with
  // the open editors kept for the relaunch.
  if (delegate.mayInstallOnExit())
    updates.applicationWillExit();
  SettingsStore::standard().sync();
  return status;
}

int printDiagnostics(LaunchContext &) {
  Diagnostics::print();
  return 0;
}

int printPermissionDiagnostics(LaunchContext &context) {
  CrelApplication &app = context.application();
  Diagnostics::printPermissions(&app, [] { QCoreApplication::exit(0); });
  app.exec();
  return 0;
}

} // namespace crel::ShellModes
