#include "CanvasLayout.h"

#include <algorithm>
#include <cmath>

namespace crel {

double CanvasLayout::margin(QSizeF bounds) {
  return std::min(std::max(0.05 * std::min(bounds.width(), bounds.height()), 16.0), 36.0);
}

geom::Rect CanvasLayout::fitArea(const geom::Rect &bounds, const QList<geom::Rect> &chromeFrames) {
  double top = bounds.minY(), bottom = bounds.maxY();
  bool anyTop = false, anyBottom = false;
  for (const geom::Rect &frame : chromeFrames) {
    if (frame.midY() < bounds.midY()) {
      top = anyTop ? std::max(top, frame.maxY()) : frame.maxY();
      anyTop = true;
    } else {
      bottom = anyBottom ? std::min(bottom, frame.minY()) : frame.minY();
      anyBottom = true;
    }
  }
  const double m = margin(bounds.size());
  const geom::Rect candidate(bounds.minX() + m, top + 0.75 * m, bounds.width() - 2 * m, (bottom - top) - 1.5 * m);
  // Signed sizes: bars that overlap each other leave a negative height, which
  // must not pass for room (the image would collapse to the minimum scale).
  if (candidate.width() > 80 && candidate.height() > 80)
    return candidate;
  const geom::Rect inset = bounds.insetBy(m, m);
  // A view smaller than twice the margin has no inset; fitting into its
  // centre keeps the image finite instead of placing it at infinity.
  if (inset.isNull())
    return {bounds.midX(), bounds.midY(), 0, 0};
  return inset;
}

geom::Rect CanvasLayout::imageRect(const geom::Rect &f, const geom::Rect &e, QSizeF pixelSize, double zoom,
                                   QSizeF pan) {
  const double fit = std::max(std::min(f.width() / e.width(), f.height() / e.height()), 0.001);
  const double s = fit * zoom;
  const double x = f.midX() - s * e.width() * 0.5 - s * e.minX() + pan.width();
  const double y = f.midY() - s * e.height() * 0.5 - s * e.minY() + pan.height();
  return {x, y, s * pixelSize.width(), s * pixelSize.height()};
}

} // namespace crel
