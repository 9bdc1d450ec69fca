#include "MarkPaths.h"

#include "MarkGeometry.h"

#include <algorithm>
#include <cmath>

namespace crel {

namespace {

constexpr double kappa = 0.55228475;

double length(QPointF v) { return std::hypot(v.x(), v.y()); }

// A cubic to b whose controls sit at the thirds of a–b pushed sideways by
// c times the edge's normal (the normal is as long as the edge).
void bowedTo(MarkPath &path, QPointF a, QPointF b, double c) {
  const QPointF d = b - a;
  const QPointF n(-d.y(), d.x());
  path.curveTo(a + d / 3 + c * n, a + 2 * d / 3 + c * n, b);
}

MarkPath doodlePolygon(const QList<QPointF> &vertices, double minSide) {
  MarkPath path;
  path.moveTo(vertices.first());
  for (int i = 0; i < vertices.size(); ++i) {
    const QPointF a = vertices[i], b = vertices[(i + 1) % vertices.size()];
    const double f = i % 2 == 0 ? 0.028 : -0.018;
    bowedTo(path, a, b, f * minSide / std::max(length(b - a), 1.0));
  }
  path.close();
  return path;
}

MarkPath doodleEllipse(const geom::Rect &b) {
  const double cx = b.midX(), cy = b.midY();
  const double rx = b.width() / 2, ry = b.height() / 2;
  const double sx = 0.035 * rx, sy = 0.035 * ry;
  // Anchors pushed off the axes a little so the oval looks drawn by hand.
  const QPointF top(cx - sx, b.minY()), right(b.maxX(), cy - sy), bottom(cx + sx, b.maxY()), left(b.minX(), cy + sy);
  MarkPath path;
  path.moveTo(top);
  path.curveTo({top.x() + kappa * rx, b.minY()}, {b.maxX(), right.y() - kappa * ry}, right);
  path.curveTo({b.maxX(), right.y() + kappa * ry}, {bottom.x() + kappa * rx, b.maxY()}, bottom);
  path.curveTo({bottom.x() - kappa * rx, b.maxY()}, {b.minX(), left.y() + kappa * ry}, left);
  path.curveTo({b.minX(), left.y() - kappa * ry}, {top.x() - kappa * rx, b.minY()}, top);
  path.close();
  return path;
}

// Uniform Catmull–Rom spline through every sample; end indices clamp.
MarkPath doodlePen(const QList<QPointF> &p) {
  MarkPath path;
  path.moveTo(p.first());
  const qsizetype last = p.size() - 1;
  auto at = [&](qsizetype i) { return p[std::clamp<qsizetype>(i, 0, last)]; };
  for (qsizetype i = 0; i < last; ++i)
    path.curveTo(at(i) + (at(i + 1) - at(i - 1)) / 6, at(i + 1) - (at(i + 2) - at(i)) / 6, at(i + 1));
  return path;
}

MarkPath doodleLine(const Mark &mark) {
  const bool arrow = mark.tool == MarkTool::arrow;
  const double c = arrow ? 0.085 : 0.015;
  MarkPath path;
  path.moveTo(mark.start);
  bowedTo(path, mark.start, mark.end, c);
  if (arrow && length(mark.end - mark.start) > 0) {
    // The head follows the direction in which the bowed shaft arrives.
    const double theta = std::atan2(mark.end.y() - mark.start.y(), mark.end.x() - mark.start.x()) - std::atan(3 * c);
    const double h = arrowHeadLength(mark), hw = arrowHeadHalfWidth(mark);
    const QPointF base = mark.end - h * QPointF(std::cos(theta), std::sin(theta));
    const QPointF across = hw * QPointF(std::sin(theta), -std::cos(theta));
    const QPointF p1 = base + across, p2 = base - across;
    path.moveTo(p1);
    bowedTo(path, p1, mark.end, 0.025);
    bowedTo(path, mark.end, p2, -0.025);
  }
  return path;
}

} // namespace

double arrowHeadLength(const Mark &mark) {
  return std::min(effectiveLineWidth(mark) * 2.9 * mark.arrowHeadScale, length(mark.end - mark.start) * 0.46);
}

double arrowHeadHalfWidth(const Mark &mark) {
  return std::max(effectiveLineWidth(mark) * 0.62, arrowHeadLength(mark) * 0.483);
}

QList<QPointF> arrowHeadPoints(const Mark &mark) {
  const double theta = std::atan2(mark.end.y() - mark.start.y(), mark.end.x() - mark.start.x());
  const double h = arrowHeadLength(mark), hw = arrowHeadHalfWidth(mark);
  const QPointF base = mark.end - h * QPointF(std::cos(theta), std::sin(theta));
  const QPointF across = hw * QPointF(-std::sin(theta), std::cos(theta));
  return {base - across, base + across};
}

bool fillsPath(const Mark &mark) {
  return mark.tool == MarkTool::arrow && (mark.style != AnnotationStyle::doodle || mark.constrained == true);
}

MarkPath path(const Mark &mark) {
  if (mark.style == AnnotationStyle::doodle && mark.constrained != true && hasDoodleForm(mark.tool))
    return doodlePath(mark);
  if (mark.tool == MarkTool::arrow)
    return formalArrowPath(mark);

  MarkPath path;
  switch (mark.tool) {
  case MarkTool::line:
    path.moveTo(mark.start);
    path.lineTo(mark.end);
    break;
  case MarkTool::rectangle:
  case MarkTool::blur:
  case MarkTool::redact: path.addRect(bounds(mark)); break;
  case MarkTool::ellipse: path.addOval(bounds(mark)); break;
  case MarkTool::triangle: {
    const geom::Rect b = bounds(mark);
    path.moveTo({b.midX(), b.minY()});
    path.lineTo({b.maxX(), b.maxY()});
    path.lineTo({b.minX(), b.maxY()});
    path.close();
    break;
  }
  case MarkTool::pen:
    if (!mark.points.isEmpty()) {
      path.moveTo(mark.points.first());
      for (qsizetype i = 1; i < mark.points.size(); ++i)
        path.lineTo(mark.points[i]);
    }
    break;
  case MarkTool::highlight:
    if (mark.regions) {
      for (const geom::Rect &r : *mark.regions)
        path.addRect(r);
    } else if (mark.highlightMode == HighlightMode::area) {
      path.addRect(bounds(mark));
    } else {
      // A marker stroke runs from start through the later samples.
      path.moveTo(mark.start);
      if (mark.points.size() >= 2)
        for (qsizetype i = 1; i < mark.points.size(); ++i)
          path.lineTo(mark.points[i]);
      else if (mark.points.isEmpty())
        path.lineTo(mark.end);
    }
    break;
  default: // text, step, select, extract have no outline
    break;
  }
  path.lineWidth = effectiveLineWidth(mark);
  return path;
}

MarkPath formalArrowPath(const Mark &mark) {
  const double len = length(mark.end - mark.start);
  if (!(len > 0))
    return {};
  const double w = effectiveLineWidth(mark);
  const double h = arrowHeadLength(mark), hw = arrowHeadHalfWidth(mark);
  const double r = std::max(w * 0.42 / 2, 0.5); // round tail
  const double xb = len - h;                    // base of the head
  const double xs = xb + 0.13 * h;              // where the shaft meets the head's back edge
  const double rt = w * 0.14;                   // tip rounding
  const double k = hw > 0 ? rt / hw : 0;
  // The sharp tip sits past the head so that, rounded with radius rt, it
  // reaches exactly the arrow's end.
  const double t = ((h - rt) + std::sqrt((h - rt) * (h - rt) * k * k + rt * rt * (1 - k * k))) / (1 - k * k);
  const double xt = xb + t;

  MarkPath outline;
  outline.moveTo({r, -r});
  outline.arcToTangent({xs, -0.5 * w}, {xb, -hw}, 0.2 * w);
  outline.arcToTangent({xb, -hw}, {xt, 0}, 0.25 * w);
  outline.arcToTangent({xt, 0}, {xb, hw}, 0.14 * w);
  outline.arcToTangent({xb, hw}, {xs, 0.5 * w}, 0.25 * w);
  outline.arcToTangent({xs, 0.5 * w}, {r, r}, 0.2 * w);
  outline.lineTo({r, r});
  outline.curveTo({(1 - kappa) * r, r}, {0, kappa * r}, {0, 0});
  outline.curveTo({0, -kappa * r}, {(1 - kappa) * r, -r}, {r, -r});
  outline.close();

  const double angle = std::atan2(mark.end.y() - mark.start.y(), mark.end.x() - mark.start.x());
  return outline.transformed(QTransform().translate(mark.start.x(), mark.start.y()).rotateRadians(angle));
}

MarkPath doodlePath(const Mark &mark) {
  MarkPath path;
  switch (mark.tool) {
  case MarkTool::arrow:
  case MarkTool::line: path = doodleLine(mark); break;
  case MarkTool::ellipse: path = doodleEllipse(bounds(mark)); break;
  case MarkTool::rectangle: {
    const geom::Rect b = bounds(mark);
    path = doodlePolygon({{b.minX(), b.minY()}, {b.maxX(), b.minY()}, {b.maxX(), b.maxY()}, {b.minX(), b.maxY()}},
                         std::min(b.width(), b.height()));
    break;
  }
  case MarkTool::triangle: {
    const geom::Rect b = bounds(mark);
    path = doodlePolygon({{b.midX(), b.minY()}, {b.maxX(), b.maxY()}, {b.minX(), b.maxY()}},
                         std::min(b.width(), b.height()));
    break;
  }
  case MarkTool::pen:
    if (mark.points.isEmpty())
      return path; // no stroke settings either
    path = doodlePen(mark.points);
    break;
  default: break;
  }
  path.lineWidth = effectiveLineWidth(mark);
  return path;
}

TextAttributes textAttributes(const Mark &mark) {
  return {font(mark.style.value_or(AnnotationStyle::formal), mark.fontSize), mark.ink.color(1)};
}

bool hasDoodleForm(MarkTool tool) {
  switch (tool) {
  case MarkTool::arrow:
  case MarkTool::line:
  case MarkTool::rectangle:
  case MarkTool::ellipse:
  case MarkTool::triangle:
  case MarkTool::pen:
  case MarkTool::text: return true;
  default: return false;
  }
}

} // namespace crel
