#pragma once

#include "platform/base/Geometry.h"

#include <QList>
#include <QSizeF>

namespace crel {

// Where the canvas places the image: pure functions of the view's bounds,
// the floating chrome over it, the document's canvas and its zoom and pan.
// All rectangles are in view points unless named otherwise.
struct CanvasLayout {
  // min(max(5 % of the shorter side, 16), 36).
  static double margin(QSizeF bounds);

  // The part of `bounds` the image is fitted into: between the lowest top
  // chrome and the highest bottom chrome (a chrome rectangle centred exactly
  // on the middle counts as bottom), inset by the margin. When that leaves
  // 80 points or less on either side the chrome is ignored and `bounds` is
  // inset by the margin alone.
  static geom::Rect fitArea(const geom::Rect &bounds, const QList<geom::Rect> &chromeFrames);

  // Where the image's pixel rectangle lies: the canvas rectangle `expanded`
  // (image pixels) fitted and centred in `fitArea`, scaled by `zoom` and
  // shifted by `pan`. The fitting scale never falls below 0.001.
  static geom::Rect imageRect(const geom::Rect &fitArea, const geom::Rect &expanded, QSizeF pixelSize, double zoom,
                              QSizeF pan);
};

} // namespace crel
