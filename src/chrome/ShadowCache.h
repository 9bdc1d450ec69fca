#pragma once

#include "SurfaceVariant.h"

#include <QImage>
#include <QRectF>

#include <map>
#include <optional>
#include <tuple>

class QPainter;

namespace crel {

// Soft shadows of chrome shapes. QPainter has none, so a shadow is the
// shape's coverage blurred (three box passes, which approximate a Gaussian of
// sigma = radius / 2 to within a few percent), tinted and offset. Blurring
// costs far more than drawing, and bars repaint often at a few sizes only,
// so each image is kept by (size, corner radius, shadow, pixel ratio).
// The shape's own area is cut out of the image: a translucent fill never
// shows its shadow through itself. Main thread only.
class ShadowCache {
public:
  static ShadowCache &shared();

  // Paints the shadow of the shape over `rect` (logical units).
  void draw(QPainter &painter, const QRectF &rect, std::optional<double> cornerRadius, const SurfaceShadow &shadow);
  // How far beyond the shape the shadow can reach, in logical units.
  static double reach(const SurfaceShadow &shadow);

  int size() const { return int(images_.size()); }
  void clear() { images_.clear(); }

private:
  using Key = std::tuple<int, int, int, int, int, int, QRgb, int>;
  const QImage &image(QSizeF size, std::optional<double> cornerRadius, const SurfaceShadow &shadow, double dpr);
  std::map<Key, QImage> images_;
};

} // namespace crel
