#include "selfcheck/SelfTestMode.h"

#include <QApplication>

// Modes are tested before anything else; the first match wins. The other
// modes and the application delegate are not wired yet: an ordinary launch
// starts the application object and leaves at once.
int main(int argc, char *argv[]) {
  if (crel::SelfTestMode::requested(argc, argv))
    return crel::SelfTestMode::exec(argc, argv);
  QApplication app(argc, argv);
  return 0;
}
