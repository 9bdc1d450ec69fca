#include "SelfTestMode.h"

#include "NativeTests.h"

#include <QApplication>

#include <cstring>
#include <iostream>

namespace crel::SelfTestMode {

namespace {

QtMessageHandler qtHandler = nullptr;

// Qt's warnings would break the contract that standard error holds nothing
// but the one failure line; only a fatal message, which aborts, still shows.
void quietMessages(QtMsgType type, const QMessageLogContext &context, const QString &message) {
  if (type == QtFatalMsg && qtHandler)
    qtHandler(type, context, message);
}

} // namespace

bool requested(int argc, char **argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--self-test") == 0)
      return true;
  return false;
}

int exec(int &argc, char **argv, const NativeTests::SuiteTable &suites) {
  // The platform plugin is fixed when the application object is built.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qtHandler = qInstallMessageHandler(quietMessages);
  QApplication app(argc, argv);
  return NativeTests::report(suites, std::cout, stderr);
}

} // namespace crel::SelfTestMode
