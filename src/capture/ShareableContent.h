#pragma once

#include <QRectF>
#include <QString>

#include <vector>

namespace crel {

class X11RootGrabber;

// What the window server lets us capture right now.
struct ShareableContent {
  struct Display {
    quint32 displayID = 0;
    QString name;
    QRectF frame; // global points
  };
  std::vector<Display> displays;

  // Asks the X server, proving with a one-pixel read that it lets us read
  // the screen; on a Wayland session lists every screen. Throws
  // SnapshotError (a refused read is a declined permission).
  static ShareableContent current(X11RootGrabber &grabber);
};

} // namespace crel
