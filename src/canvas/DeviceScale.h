#pragma once

#include <QPainter>
#include <QTransform>

#include <cmath>

namespace crel {

// Device pixels per painter unit. QWidget::render and high-density backing
// stores carry the pixel ratio in the painter's transform, while the device
// (the widget) reports its logical size and a ratio of 1.
inline double deviceScale(const QPainter &painter) {
  const QTransform t = painter.combinedTransform();
  const double scale = std::hypot(t.m11(), t.m12());
  return std::isfinite(scale) && scale > 0 ? scale : 1;
}

} // namespace crel
