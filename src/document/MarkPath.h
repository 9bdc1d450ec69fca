#pragma once

#include "platform/base/Geometry.h"

#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QTransform>

#include <functional>
#include <optional>

namespace crel {

// The outline of a mark as the list of elements it was built from. Unlike
// QPainterPath it keeps an explicit close element (so an outline can be
// written out element for element) and carries the stroke settings of the
// mark. Coordinates are image pixels.
class MarkPath {
public:
  enum class ElementType { moveTo, lineTo, curveTo, close };
  // curveTo uses points[0] and points[1] as controls and points[2] as the end
  // point; moveTo and lineTo use points[0]; close uses none.
  struct Element {
    ElementType type;
    QPointF points[3];
  };

  void moveTo(QPointF p);
  // On an empty path this starts the path at p instead.
  void lineTo(QPointF p);
  void curveTo(QPointF control1, QPointF control2, QPointF end);
  void close();

  // Closed rectangle: min corner, then clockwise on a y-down screen.
  void addRect(const geom::Rect &r);
  // Closed oval inscribed in r from four quarter-circle cubics.
  void addOval(const geom::Rect &r);
  // A line from the current point toward p1 that turns into an arc of
  // `radius` tangent to both (current → p1) and (p1 → p2); ends on the second
  // tangent. Degenerate corners (collinear points, radius ≤ 0) give a line to p1.
  void arcToTangent(QPointF p1, QPointF p2, double radius);

  bool isEmpty() const { return elements_.isEmpty(); }
  const QList<Element> &elements() const { return elements_; }
  // The current point: the last element's end, or the subpath start after a
  // close; (0, 0) on an empty path.
  QPointF currentPoint() const { return current_; }

  // Every point mapped through t (cubics map exactly under affine maps).
  MarkPath transformed(const QTransform &t) const;

  // Tight box of the drawn curve (curve extrema, not control points),
  // including lone move points; null when empty.
  geom::Rect boundingBox() const;

  // Non-zero winding, as every outline of a mark is filled.
  QPainterPath toPainterPath() const;
  bool contains(QPointF p) const;

  // Visits the path as straight segments: curves split so that no point is
  // more than 0.6 px from the curve, each close as the segment back to its
  // subpath start. Stops early when the visitor returns true; returns whether
  // it did.
  bool anySegment(const std::function<bool(QPointF a, QPointF b)> &visit) const;

  // Stroke width with round caps and joins; absent for filled outlines and
  // for paths that carry no stroke settings (a pen mark without points).
  std::optional<double> lineWidth;

private:
  QList<Element> elements_;
  QPointF current_;
  QPointF subpathStart_;
};

} // namespace crel
