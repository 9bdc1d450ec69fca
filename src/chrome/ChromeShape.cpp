#include "ChromeShape.h"

#include <algorithm>
#include <cmath>

namespace crel::ChromeShape {

double effectiveRadius(const QRectF &rect, std::optional<double> cornerRadius) {
  const double half = std::min(rect.width(), rect.height()) / 2;
  return std::clamp(cornerRadius.value_or(half), 0.0, std::max(half, 0.0));
}

QPainterPath path(const QRectF &rect, std::optional<double> cornerRadius) {
  QPainterPath p;
  const double r = effectiveRadius(rect, cornerRadius);
  p.addRoundedRect(rect, r, r);
  return p;
}

bool contains(const QRectF &rect, std::optional<double> cornerRadius, QPointF point) {
  if (!rect.contains(point))
    return false;
  const double r = effectiveRadius(rect, cornerRadius);
  // Outside a corner square the rectangle decides; inside it, the arc does.
  const double cx = std::clamp(point.x(), rect.left() + r, rect.right() - r);
  const double cy = std::clamp(point.y(), rect.top() + r, rect.bottom() - r);
  return std::hypot(point.x() - cx, point.y() - cy) <= r;
}

} // namespace crel::ChromeShape
