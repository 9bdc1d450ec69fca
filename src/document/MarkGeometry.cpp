#include "MarkGeometry.h"

#include "EditingGeometry.h"
#include "MarkPaths.h"
#include "TextLayout.h"

#include <algorithm>
#include <cmath>

namespace crel {

namespace {

double distance(QPointF a, QPointF b) { return std::hypot(b.x() - a.x(), b.y() - a.y()); }

bool finite(QPointF p) { return std::isfinite(p.x()) && std::isfinite(p.y()); }

bool isCorner(MarkHandle handle) {
  return handle == MarkHandle::topLeft || handle == MarkHandle::topRight || handle == MarkHandle::bottomLeft ||
         handle == MarkHandle::bottomRight;
}

// Marks whose painted box is their geometric box.
bool paintsItsBounds(const Mark &mark) {
  return mark.regions || mark.tool == MarkTool::text || mark.tool == MarkTool::step || mark.tool == MarkTool::redact ||
         mark.tool == MarkTool::blur || (mark.tool == MarkTool::highlight && mark.highlightMode == HighlightMode::area);
}

geom::Rect grown(const geom::Rect &r, double by) { return r.insetBy(-by, -by); }

QPointF inverseMapped(const QTransform &t, QPointF p) {
  if (t.isIdentity())
    return p;
  bool invertible = false;
  const QTransform inverse = t.inverted(&invertible);
  return invertible ? inverse.map(p) : p;
}

// Distance from q to the segment a–b, the denominator kept away from zero so
// a degenerate segment is its end point.
double segmentDistance(QPointF q, QPointF a, QPointF b) {
  const QPointF d = b - a;
  const double t = std::clamp(
      ((q.x() - a.x()) * d.x() + (q.y() - a.y()) * d.y()) / std::max(d.x() * d.x() + d.y() * d.y(), 0.001), 0.0, 1.0);
  return distance(q, a + t * d);
}

} // namespace

double effectiveLineWidth(const Mark &mark) {
  if (mark.tool == MarkTool::arrow)
    return std::min(mark.width, distance(mark.start, mark.end) / 6);
  return mark.width;
}

geom::Rect bounds(const Mark &mark) {
  if (mark.regions) {
    geom::Rect united;
    for (const geom::Rect &r : *mark.regions)
      united = united.united(r);
    return united;
  }
  switch (mark.tool) {
  case MarkTool::step:
    return {mark.start.x() - mark.width / 2, mark.start.y() - mark.width / 2, mark.width, mark.width};
  case MarkTool::text: {
    const QSizeF laidOut = TextLayout::measure(mark.text, textAttributes(mark).font, mark.textBoxWidth);
    const double height = std::max(std::ceil(laidOut.height()), 1.3 * mark.fontSize);
    return {mark.start.x(), mark.start.y(), mark.textBoxWidth, height};
  }
  default: break;
  }
  const QList<QPointF> points = mark.points.isEmpty() ? QList<QPointF>{mark.start, mark.end} : mark.points;
  double x0 = points.first().x(), y0 = points.first().y(), x1 = x0, y1 = y0;
  for (const QPointF &p : points) {
    x0 = std::min(x0, p.x());
    y0 = std::min(y0, p.y());
    x1 = std::max(x1, p.x());
    y1 = std::max(y1, p.y());
  }
  return {x0, y0, x1 - x0, y1 - y0};
}

geom::Rect localVisualBounds(const Mark &mark) {
  if (paintsItsBounds(mark))
    return bounds(mark);
  const MarkPath outline = path(mark);
  if (outline.isEmpty())
    return {};
  const geom::Rect box = outline.boundingBox();
  if (fillsPath(mark))
    return box;
  return grown(box, std::max(effectiveLineWidth(mark) / 2, 0.0));
}

geom::Rect visualBounds(const Mark &mark) { return localVisualBounds(mark).applying(rotationTransform(mark)); }

QTransform rotationTransform(const Mark &mark) {
  if (!mark.rotation || !std::isfinite(*mark.rotation) || *mark.rotation == 0)
    return {};
  const QPointF c = bounds(mark).center();
  if (!finite(c))
    return {};
  return QTransform().translate(c.x(), c.y()).rotateRadians(*mark.rotation).translate(-c.x(), -c.y());
}

Mark rotated(const Mark &mark, double angle) {
  Mark copy = mark;
  if (!std::isfinite(angle))
    return copy;
  const double normalised = std::atan2(std::sin(angle), std::cos(angle));
  if (std::abs(normalised) < 1e-7)
    copy.rotation.reset();
  else
    copy.rotation = normalised;
  return copy;
}

QPointF rotationHandle(const Mark &mark, double scale) {
  geom::Rect box = bounds(mark);
  const geom::Rect visual = localVisualBounds(mark);
  if (!visual.isNull())
    box = box.united(visual);
  const QPointF handle(box.midX(), box.minY() - 30 / (scale > 0.001 ? scale : 0.001));
  return rotationTransform(mark).map(handle);
}

QList<MarkHandlePoint> handles(const Mark &mark) {
  if (mark.regions)
    return {};
  if (mark.tool == MarkTool::arrow || mark.tool == MarkTool::line)
    return {{MarkHandle::start, mark.start}, {MarkHandle::end, mark.end}};
  const geom::Rect b = bounds(mark);
  if (mark.tool == MarkTool::text)
    return {{MarkHandle::bottomRight, {b.maxX(), b.maxY()}}};
  return {{MarkHandle::topLeft, {b.minX(), b.minY()}},
          {MarkHandle::topRight, {b.maxX(), b.minY()}},
          {MarkHandle::bottomLeft, {b.minX(), b.maxY()}},
          {MarkHandle::bottomRight, {b.maxX(), b.maxY()}}};
}

QList<MarkHandlePoint> selectionHandles(const Mark &mark, double scale) {
  const QTransform t = rotationTransform(mark);
  QList<MarkHandlePoint> result{{MarkHandle::rotation, rotationHandle(mark, scale)}};
  for (const MarkHandlePoint &h : handles(mark))
    result.append({h.handle, t.map(h.point)});
  return result;
}

bool hitTest(const Mark &mark, QPointF point, double tolerance) {
  const QPointF q = inverseMapped(rotationTransform(mark), point);
  if (mark.regions) {
    return std::any_of(mark.regions->begin(), mark.regions->end(),
                       [&](const geom::Rect &r) { return grown(r, tolerance).contains(q); });
  }
  if (mark.tool == MarkTool::redact || mark.tool == MarkTool::blur || mark.tool == MarkTool::step ||
      (mark.tool == MarkTool::highlight && mark.highlightMode == HighlightMode::area)) {
    if (grown(bounds(mark), tolerance).contains(q))
      return true;
  }
  // A text mark has no outline; only its box counts.
  if (mark.tool == MarkTool::text)
    return grown(bounds(mark), tolerance).contains(q);

  const MarkPath outline = path(mark);
  const bool filled = fillsPath(mark);
  if (filled && outline.contains(q))
    return true;
  const double reach = (filled ? 0 : effectiveLineWidth(mark) / 2) + tolerance;
  return outline.anySegment([&](QPointF a, QPointF b) { return segmentDistance(q, a, b) <= reach; });
}

Mark moved(const Mark &mark, double dx, double dy) {
  Mark copy = mark;
  const QPointF d(dx, dy);
  copy.start += d;
  copy.end += d;
  for (QPointF &p : copy.points)
    p += d;
  if (copy.regions)
    for (geom::Rect &r : *copy.regions)
      r = r.offsetBy(dx, dy);
  return copy;
}

Mark resized(const Mark &mark, MarkHandle handle, QPointF point) {
  if (handle == MarkHandle::rotation)
    return mark;
  const QTransform t = rotationTransform(mark);
  const Mark local = resizedLocally(mark, handle, inverseMapped(t, point));
  if (t.isIdentity())
    return local;
  // The rotation centre moves with the new bounds; shift the result so the
  // parts the drag did not touch stay where they were on screen.
  const QPointF c = bounds(local).center();
  if (!finite(c))
    return local;
  const QPointF d = t.map(c) - c;
  return moved(local, d.x(), d.y());
}

Mark resizedLocally(const Mark &mark, MarkHandle handle, QPointF point) {
  Mark copy = mark;
  if (handle == MarkHandle::start || handle == MarkHandle::end) {
    (handle == MarkHandle::start ? copy.start : copy.end) = point;
    if (mark.tool == MarkTool::arrow) {
      // The arrow keeps its proportions: its width follows its length.
      const double before = distance(mark.start, mark.end), after = distance(copy.start, copy.end);
      if (!(before > 0.001 && after > 1))
        return mark;
      copy.width = mark.width * after / before;
    }
    return copy;
  }
  if (!isCorner(handle))
    return copy;

  if (mark.tool == MarkTool::step) {
    copy.width =
        std::max(2 * std::max(std::abs(point.x() - mark.start.x()), std::abs(point.y() - mark.start.y())), 16.0);
    return copy;
  }
  if (mark.tool == MarkTool::text) {
    const double dx = point.x() - mark.start.x();
    const double w0 = bounds(mark).width();
    const double k = std::max(w0 < 1 ? dx : dx / w0, 0.1);
    copy.fontSize = std::max(std::min(k * mark.fontSize, 300.0), 8.0);
    copy.textBoxWidth = std::max(k * mark.textBoxWidth, 40.0);
    return copy;
  }

  const geom::Rect b = bounds(mark);
  if (b.isNull())
    return copy;
  const QPointF a = EditingGeometry::opposite(handle, mark);
  // Fitted into the new box without flipping, however far past the anchor.
  const geom::Rect n(std::min(a.x(), point.x()), std::min(a.y(), point.y()), std::max(std::abs(point.x() - a.x()), 1.0),
                     std::max(std::abs(point.y() - a.y()), 1.0));
  const double bw = std::max(b.width(), 1.0), bh = std::max(b.height(), 1.0);
  auto map = [&](QPointF p) {
    return QPointF(n.minX() + n.width() * (p.x() - b.minX()) / bw, n.minY() + n.height() * (p.y() - b.minY()) / bh);
  };
  copy.start = map(mark.start);
  copy.end = map(mark.end);
  for (QPointF &p : copy.points)
    p = map(p);
  return copy;
}

} // namespace crel
