#include "SelfTestMode.h"

#include "NativeTests.h"
#include "platform/QuietMessages.h"

#include <QApplication>

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
  // The platform plugin is fixed when the application object is built.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt's warnings would break the contract that standard error holds nothing
  // but the one failure line.
  quietQtMessages();
  QApplication app(argc, argv);
  return NativeTests::report(suites, std::cout, stderr);
}

} // namespace crel::SelfTestMode
