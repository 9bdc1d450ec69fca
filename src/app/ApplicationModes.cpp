#include "ApplicationModes.h"

#include "Diagnostics.h"
#include "LaunchAtLogin.h"
#include "platform/AutostartLoginItem.h"
#include "platform/ResourceLocator.h"
#include "platform/SettingsStore.h"
#include "selfcheck/SelfTestMode.h"

#include <QDir>
#include <QLoggingCategory>
#include <QTimer>

#include <stdexcept>

namespace crel {

namespace {

Q_LOGGING_CATEGORY(lcLaunch, "crel.launch", QtWarningMsg)

[[noreturn]] void notBuilt(const QString &what) {
  throw std::runtime_error(QStringLiteral("%1 is not built yet").arg(what).toStdString());
}

ModeRunner notBuiltMode() {
  return [](LaunchContext &context) -> int { notBuilt(context.choice().flag); };
}

QString hookSwitch(const TestHook &hook) {
  switch (hook.kind) {
  case TestHook::Kind::updateAcceptance: return QStringLiteral("--update-acceptance");
  case TestHook::Kind::acceptance: return QStringLiteral("--acceptance-test");
  case TestHook::Kind::startupCheck: break;
  }
  return hook.values.value(0);
}

} // namespace

int runApplication(LaunchContext &context) {
  CrelApplication &app = context.application();
  app.setActivationPolicy(ActivationPolicy::regular);
  const CommandLine &commandLine = context.commandLine();

  AutostartLoginItem loginItem(AutostartLoginItem::forThisProcess());
  LaunchAtLogin launchAtLogin(
      loginItem, SettingsStore::standard(),
      LaunchAtLogin::isInstalledApplication(commandLine, ResourceLocator::bundleDirectory(), QDir::homePath()));

  // The launch sequence runs once the loop is up, before any test hook.
  QTimer::singleShot(0, &app, [&launchAtLogin] {
    runOrFail([&] { launchAtLogin.start(); });
    qCInfo(lcLaunch) << "launch sequence finished";
  });
  for (const TestHook &hook : testHooks(commandLine))
    QTimer::singleShot(1000, &app, [hook] { runOrFail([&] { notBuilt(hookSwitch(hook)); }); });

  const int status = app.exec();
  SettingsStore::standard().sync();
  return status;
}

const ModeTable &applicationModes() {
  static const ModeTable table{
      {LaunchMode::fixture, [](LaunchContext &) -> int { notBuilt(QStringLiteral("The acceptance fixture")); }},
      {LaunchMode::selfTest, [](LaunchContext &c) { return SelfTestMode::exec(c.argc(), c.argv()); }},
      {LaunchMode::renderStyles, notBuiltMode()},
      {LaunchMode::exportArrowSvg, notBuiltMode()},
      {LaunchMode::renderEditor, notBuiltMode()},
      {LaunchMode::captureEditorLive, notBuiltMode()},
      {LaunchMode::renderSettings, notBuiltMode()},
      {LaunchMode::diagnostics,
       [](LaunchContext &) {
         Diagnostics::print();
         return 0;
       }},
      {LaunchMode::permissionDiagnostics,
       [](LaunchContext &c) {
         CrelApplication &app = c.application();
         Diagnostics::printPermissions(&app, [] { QCoreApplication::exit(0); });
         app.exec();
         return 0;
       }},
      {LaunchMode::application, runApplication},
  };
  return table;
}

} // namespace crel
