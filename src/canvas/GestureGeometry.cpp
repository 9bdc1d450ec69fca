#include "GestureGeometry.h"

#include <algorithm>
#include <cmath>

namespace crel::GestureGeometry {

QPointF axisLocked(QPointF anchor, QPointF point) {
  if (std::abs(point.y() - anchor.y()) <= std::abs(point.x() - anchor.x()))
    return {point.x(), anchor.y()};
  return {anchor.x(), point.y()};
}

QPointF directionSnapped(QPointF anchor, QPointF point, double step) {
  const double phi = snappedAngle(std::atan2(point.y() - anchor.y(), point.x() - anchor.x()), step);
  const double c = std::cos(phi), s = std::sin(phi);
  const double d = (point.x() - anchor.x()) * c + (point.y() - anchor.y()) * s;
  return {anchor.x() + d * c, anchor.y() + d * s};
}

QPointF squared(QPointF anchor, QPointF point) {
  const double side = std::max(std::abs(point.x() - anchor.x()), std::abs(point.y() - anchor.y()));
  return {point.x() >= anchor.x() ? anchor.x() + side : anchor.x() - side,
          point.y() >= anchor.y() ? anchor.y() + side : anchor.y() - side};
}

double snappedAngle(double angle, double step) { return std::round(angle / step) * step; }

} // namespace crel::GestureGeometry
