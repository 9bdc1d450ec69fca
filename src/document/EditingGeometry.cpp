#include "EditingGeometry.h"

#include "MarkGeometry.h"

#include <algorithm>
#include <cmath>

namespace crel::EditingGeometry {

QPointF opposite(MarkHandle handle, const Mark &mark) {
  switch (handle) {
  case MarkHandle::start: return mark.end;
  case MarkHandle::end: return mark.start;
  default: break;
  }
  const geom::Rect b = bounds(mark);
  switch (handle) {
  case MarkHandle::topLeft: return {b.maxX(), b.maxY()};
  case MarkHandle::topRight: return {b.minX(), b.maxY()};
  case MarkHandle::bottomLeft: return {b.maxX(), b.minY()};
  case MarkHandle::bottomRight: return {b.minX(), b.minY()};
  default: return b.center();
  }
}

QPointF proportional(QPointF point, QPointF anchor, double ratio) {
  const double r = ratio > 0.001 ? ratio : 0.001; // NaN too
  const double e = std::max(std::abs(point.y() - anchor.y()), std::abs(point.x() - anchor.x()) / r);
  return {anchor.x() + r * (point.x() < anchor.x() ? -e : e), anchor.y() + (point.y() < anchor.y() ? -e : e)};
}

} // namespace crel::EditingGeometry
