#include "SelfTestMode.h"

#include "NativeTests.h"
#include "platform/base/OffscreenScreen.h"
#include "platform/base/QuietMessages.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <iostream>

namespace crel::SelfTestMode {

bool requested(int argc, char **argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--self-test") == 0)
      return true;
  return false;
}

int exec(int &argc, char **argv, const NativeTests::SuiteTable &suites) {
  // The platform plugin is fixed when the application object is built. The
  // editor checks need a desktop-sized screen for the large editor window.
  const QTemporaryDir screenFolder;
  if (!screenFolder.isValid() || !OffscreenScreen::useDesktopSized(screenFolder.path()))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  // Without a session bus, libdbus would start one for the first lookup (the
  // desktop's contrast setting), which outlives the run and writes ~/.dbus.
  // An address in the run's own folder, where nothing listens, fails at once.
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
    const QString socket = screenFolder.isValid() ? screenFolder.filePath(QStringLiteral("no-session-bus"))
                                                  : QStringLiteral("/dev/null/no-session-bus");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(socket));
  }
  // Qt's warnings would break the contract that standard error holds nothing
  // but the one failure line.
  quietQtMessages();
  QApplication app(argc, argv);
  return NativeTests::report(suites, std::cout, stderr);
}

} // namespace crel::SelfTestMode
