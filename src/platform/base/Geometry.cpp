#include "Geometry.h"

#include <algorithm>
#include <cmath>

namespace crel::geom {

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
}

Rect Rect::fromPoints(QPointF a, QPointF b) {
  return {std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(b.x() - a.x()), std::abs(b.y() - a.y())};
}

double Rect::minX() const { return null_ ? kInf : std::min(x_, x_ + w_); }
double Rect::minY() const { return null_ ? kInf : std::min(y_, y_ + h_); }
double Rect::maxX() const { return null_ ? -kInf : std::max(x_, x_ + w_); }
double Rect::maxY() const { return null_ ? -kInf : std::max(y_, y_ + h_); }
double Rect::midX() const { return null_ ? kInf : x_ + w_ / 2; }
double Rect::midY() const { return null_ ? kInf : y_ + h_ / 2; }

Rect Rect::standardized() const {
  if (null_)
    return {};
  return {minX(), minY(), std::abs(w_), std::abs(h_)};
}

Rect Rect::integral() const {
  if (null_)
    return {};
  const double x0 = std::floor(minX()), y0 = std::floor(minY());
  return {x0, y0, std::ceil(maxX()) - x0, std::ceil(maxY()) - y0};
}

Rect Rect::insetBy(double dx, double dy) const {
  if (null_)
    return {};
  const Rect s = standardized();
  const double w = s.w_ - 2 * dx, h = s.h_ - 2 * dy;
  if (w < 0 || h < 0)
    return {};
  return {s.x_ + dx, s.y_ + dy, w, h};
}

Rect Rect::offsetBy(double dx, double dy) const {
  if (null_)
    return {};
  return {x_ + dx, y_ + dy, w_, h_};
}

Rect Rect::united(const Rect &other) const {
  if (null_)
    return other.standardized();
  if (other.null_)
    return standardized();
  const double x0 = std::min(minX(), other.minX()), y0 = std::min(minY(), other.minY());
  return {x0, y0, std::max(maxX(), other.maxX()) - x0, std::max(maxY(), other.maxY()) - y0};
}

Rect Rect::intersected(const Rect &other) const {
  if (null_ || other.null_)
    return {};
  const double x0 = std::max(minX(), other.minX()), y0 = std::max(minY(), other.minY());
  const double x1 = std::min(maxX(), other.maxX()), y1 = std::min(maxY(), other.maxY());
  if (x1 < x0 || y1 < y0)
    return {};
  return {x0, y0, x1 - x0, y1 - y0};
}

bool Rect::intersects(const Rect &other) const {
  const Rect r = intersected(other);
  return !r.isEmpty();
}

bool Rect::contains(QPointF p) const {
  if (null_)
    return false;
  return p.x() >= minX() && p.x() < maxX() && p.y() >= minY() && p.y() < maxY();
}

bool Rect::contains(const Rect &other) const {
  if (null_ || other.null_)
    return false;
  return other.minX() >= minX() && other.maxX() <= maxX() && other.minY() >= minY() && other.maxY() <= maxY();
}

Rect Rect::applying(const QTransform &t) const {
  if (null_)
    return {};
  const QPointF corners[] = {t.map(QPointF(minX(), minY())), t.map(QPointF(maxX(), minY())),
                             t.map(QPointF(minX(), maxY())), t.map(QPointF(maxX(), maxY()))};
  double x0 = kInf, y0 = kInf, x1 = -kInf, y1 = -kInf;
  for (const QPointF &c : corners) {
    x0 = std::min(x0, c.x());
    y0 = std::min(y0, c.y());
    x1 = std::max(x1, c.x());
    y1 = std::max(y1, c.y());
  }
  return {x0, y0, x1 - x0, y1 - y0};
}

} // namespace crel::geom
