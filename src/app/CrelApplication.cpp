#include "CrelApplication.h"

#include "platform/base/SignalBridge.h"
#include "platform/files/AppIdentity.h"

namespace crel {

CrelApplication::CrelApplication(int &argc, char **argv) : QApplication(argc, argv) {
  // The application lives in the tray: closing its last window is not quitting.
  setQuitOnLastWindowClosed(false);
  // Every window and alert carries the application's icon; the desktop
  // entry's name ties the windows to the applications-menu entry.
  setDesktopFileName(AppIdentity::identifier());
  setWindowIcon(AppIdentity::icon());
  if (SignalBridge *bridge = SignalBridge::install(this))
    connect(
        bridge, &SignalBridge::terminationRequested, this, [this] { quitRoad_ ? quitRoad_() : quit(); },
        Qt::QueuedConnection);
}

} // namespace crel
