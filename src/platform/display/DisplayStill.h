#pragma once

#include <QImage>
#include <QRectF>
#include <QString>

namespace crel {

// One display frozen at capture time.
struct DisplayStill {
  quint32 displayID = 0;
  QString name; // the screen's name (a RandR monitor name on X11)
  QRectF frame; // logical global coordinates, origin top-left
  qreal scaleFactor = 1;
  QImage image; // native pixels; devicePixelRatio() == scaleFactor
  // The compositor's own scale of the Wayland output the screen shows, where
  // it is paired with one; 0 elsewhere.
  qreal outputScale = 0;
};

} // namespace crel
