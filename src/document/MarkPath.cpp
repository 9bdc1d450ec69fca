#include "MarkPath.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace crel {

namespace {

constexpr double kappa = 0.55228475; // quarter circle as one cubic
constexpr double flatness = 0.6;     // largest distance of a flattened segment from its curve

double length(QPointF v) { return std::hypot(v.x(), v.y()); }
double cross(QPointF a, QPointF b) { return a.x() * b.y() - a.y() * b.x(); }
double dot(QPointF a, QPointF b) { return a.x() * b.x() + a.y() * b.y(); }

QPointF cubicAt(QPointF p0, QPointF c1, QPointF c2, QPointF p3, double t) {
  const double u = 1 - t;
  return u * u * u * p0 + 3 * u * u * t * c1 + 3 * u * t * t * c2 + t * t * t * p3;
}

// Parameters in (0, 1) where one coordinate of the cubic has a turning point.
int cubicExtrema(double p0, double c1, double c2, double p3, double out[2]) {
  // Derivative / 3 = a t² + b t + c.
  const double a = -p0 + 3 * c1 - 3 * c2 + p3;
  const double b = 2 * (p0 - 2 * c1 + c2);
  const double c = c1 - p0;
  int n = 0;
  auto keep = [&](double t) {
    if (t > 0 && t < 1)
      out[n++] = t;
  };
  if (std::abs(a) < 1e-12) {
    if (std::abs(b) > 1e-12)
      keep(-c / b);
    return n;
  }
  const double disc = b * b - 4 * a * c;
  if (disc < 0)
    return n;
  const double s = std::sqrt(disc);
  keep((-b + s) / (2 * a));
  keep((-b - s) / (2 * a));
  return n;
}

} // namespace

void MarkPath::moveTo(QPointF p) {
  elements_.append({ElementType::moveTo, {p}});
  current_ = subpathStart_ = p;
}

void MarkPath::lineTo(QPointF p) {
  if (elements_.isEmpty())
    return moveTo(p);
  elements_.append({ElementType::lineTo, {p}});
  current_ = p;
}

void MarkPath::curveTo(QPointF control1, QPointF control2, QPointF end) {
  if (elements_.isEmpty())
    moveTo(control1);
  elements_.append({ElementType::curveTo, {control1, control2, end}});
  current_ = end;
}

void MarkPath::close() {
  if (elements_.isEmpty())
    return;
  elements_.append({ElementType::close, {}});
  current_ = subpathStart_;
}

void MarkPath::addRect(const geom::Rect &r) {
  if (r.isNull())
    return;
  moveTo({r.minX(), r.minY()});
  lineTo({r.maxX(), r.minY()});
  lineTo({r.maxX(), r.maxY()});
  lineTo({r.minX(), r.maxY()});
  close();
}

void MarkPath::addOval(const geom::Rect &r) {
  if (r.isNull())
    return;
  const double cx = r.midX(), cy = r.midY();
  const double rx = std::abs(r.width()) / 2, ry = std::abs(r.height()) / 2;
  const double kx = kappa * rx, ky = kappa * ry;
  moveTo({cx + rx, cy});
  curveTo({cx + rx, cy + ky}, {cx + kx, cy + ry}, {cx, cy + ry});
  curveTo({cx - kx, cy + ry}, {cx - rx, cy + ky}, {cx - rx, cy});
  curveTo({cx - rx, cy - ky}, {cx - kx, cy - ry}, {cx, cy - ry});
  curveTo({cx + kx, cy - ry}, {cx + rx, cy - ky}, {cx + rx, cy});
  close();
}

void MarkPath::arcToTangent(QPointF p1, QPointF p2, double radius) {
  const QPointF p0 = current_;
  const QPointF v1 = p0 - p1, v2 = p2 - p1;
  const double l1 = length(v1), l2 = length(v2);
  if (elements_.isEmpty() || !(radius > 0) || !std::isfinite(radius) || !(l1 > 0) || !(l2 > 0))
    return lineTo(p1);
  const QPointF u1 = v1 / l1, u2 = v2 / l2;
  const double sinTheta = cross(u1, u2);
  if (std::abs(sinTheta) < 1e-12)
    return lineTo(p1);
  const double theta = std::atan2(std::abs(sinTheta), dot(u1, u2)); // corner angle in (0, π)
  const double tangent = radius / std::tan(theta / 2);
  const QPointF t1 = p1 + u1 * tangent, t2 = p1 + u2 * tangent;
  const QPointF bisector = (u1 + u2) / length(u1 + u2);
  const QPointF centre = p1 + bisector * (radius / std::sin(theta / 2));

  lineTo(t1);
  // The arc turns the way the corner turns: from the incoming direction -u1 to u2.
  const double sweep = (cross(-u1, u2) > 0 ? 1 : -1) * (std::numbers::pi - theta);
  const int segments = std::max(1, int(std::ceil(std::abs(sweep) / (std::numbers::pi / 2) - 1e-9)));
  const double step = sweep / segments;
  const double k = 4.0 / 3.0 * std::tan(step / 4) * radius;
  double a = std::atan2(t1.y() - centre.y(), t1.x() - centre.x());
  QPointF from = t1;
  for (int i = 0; i < segments; ++i) {
    const double b = a + step;
    const QPointF to = i + 1 == segments ? t2 : centre + radius * QPointF(std::cos(b), std::sin(b));
    curveTo(from + k * QPointF(-std::sin(a), std::cos(a)), to - k * QPointF(-std::sin(b), std::cos(b)), to);
    from = to;
    a = b;
  }
}

MarkPath MarkPath::transformed(const QTransform &t) const {
  MarkPath out = *this;
  for (Element &e : out.elements_)
    for (QPointF &p : e.points)
      p = t.map(p);
  out.current_ = t.map(current_);
  out.subpathStart_ = t.map(subpathStart_);
  return out;
}

geom::Rect MarkPath::boundingBox() const {
  if (elements_.isEmpty())
    return {};
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  auto add = [&](QPointF p) {
    x0 = std::min(x0, p.x());
    y0 = std::min(y0, p.y());
    x1 = std::max(x1, p.x());
    y1 = std::max(y1, p.y());
  };
  QPointF current, start;
  for (const Element &e : elements_) {
    switch (e.type) {
    case ElementType::moveTo:
      current = start = e.points[0];
      add(current);
      break;
    case ElementType::lineTo:
      current = e.points[0];
      add(current);
      break;
    case ElementType::curveTo: {
      double ts[4];
      int n = cubicExtrema(current.x(), e.points[0].x(), e.points[1].x(), e.points[2].x(), ts);
      n += cubicExtrema(current.y(), e.points[0].y(), e.points[1].y(), e.points[2].y(), ts + n);
      for (int i = 0; i < n; ++i)
        add(cubicAt(current, e.points[0], e.points[1], e.points[2], ts[i]));
      current = e.points[2];
      add(current);
      break;
    }
    case ElementType::close: current = start; break;
    }
  }
  return {x0, y0, x1 - x0, y1 - y0};
}

QPainterPath MarkPath::toPainterPath() const {
  QPainterPath path;
  path.setFillRule(Qt::WindingFill);
  for (const Element &e : elements_) {
    switch (e.type) {
    case ElementType::moveTo: path.moveTo(e.points[0]); break;
    case ElementType::lineTo: path.lineTo(e.points[0]); break;
    case ElementType::curveTo: path.cubicTo(e.points[0], e.points[1], e.points[2]); break;
    case ElementType::close: path.closeSubpath(); break;
    }
  }
  return path;
}

bool MarkPath::contains(QPointF p) const { return !elements_.isEmpty() && toPainterPath().contains(p); }

bool MarkPath::anySegment(const std::function<bool(QPointF, QPointF)> &visit) const {
  QPointF current, start;
  for (const Element &e : elements_) {
    switch (e.type) {
    case ElementType::moveTo: current = start = e.points[0]; break;
    case ElementType::lineTo:
      if (visit(current, e.points[0]))
        return true;
      current = e.points[0];
      break;
    case ElementType::curveTo: {
      const QPointF c1 = e.points[0], c2 = e.points[1], end = e.points[2];
      const double bend = std::max(length(current - 2 * c1 + c2), length(c1 - 2 * c2 + end));
      // The chord error of n equal steps is at most 0.75 · bend / n².
      const double steps = std::ceil(std::sqrt(0.75 * bend / flatness));
      const int n = std::isfinite(steps) ? std::clamp(int(steps), 1, 10000) : 1;
      QPointF a = current;
      for (int i = 1; i <= n; ++i) {
        const QPointF b = i == n ? end : cubicAt(current, c1, c2, end, double(i) / n);
        if (visit(a, b))
          return true;
        a = b;
      }
      current = end;
      break;
    }
    case ElementType::close:
      if (visit(current, start))
        return true;
      current = start;
      break;
    }
  }
  return false;
}

} // namespace crel
