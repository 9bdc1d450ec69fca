#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

#include <limits>

namespace crel::geom {

// Exact comparisons: Qt's operator== on QPointF/QSizeF/QRectF is fuzzy, which
// would hide real edits (a 1-ulp move) and make NaN compare equal.
inline bool exactlyEqual(double a, double b) { return a == b; }
inline bool exactlyEqual(QPointF a, QPointF b) { return a.x() == b.x() && a.y() == b.y(); }
inline bool exactlyEqual(QSizeF a, QSizeF b) { return a.width() == b.width() && a.height() == b.height(); }

// A rectangle with the semantics of a CoreGraphics rect: a distinct null
// state (the identity of union), half-open point containment, unions that
// keep zero-size rects, and exact equality. Negative sizes are allowed and
// read through standardized(), as CoreGraphics does.
class Rect {
public:
  constexpr Rect() = default; // the null rect
  constexpr Rect(double x, double y, double width, double height) : x_(x), y_(y), w_(width), h_(height), null_(false) {}
  Rect(QPointF origin, QSizeF size) : Rect(origin.x(), origin.y(), size.width(), size.height()) {}
  static Rect fromQRectF(const QRectF &r) { return {r.x(), r.y(), r.width(), r.height()}; }
  static Rect fromPoints(QPointF a, QPointF b);
  static constexpr Rect null() { return {}; }

  bool isNull() const { return null_; }
  // Null, or zero (or negative-zero) width or height.
  bool isEmpty() const { return null_ || w_ == 0 || h_ == 0; }

  // Raw stored fields (as written, not standardized). Null has infinite origin.
  double x() const { return null_ ? std::numeric_limits<double>::infinity() : x_; }
  double y() const { return null_ ? std::numeric_limits<double>::infinity() : y_; }
  double width() const { return null_ ? 0 : w_; }
  double height() const { return null_ ? 0 : h_; }
  QPointF origin() const { return {x(), y()}; }
  QSizeF size() const { return {width(), height()}; }

  double minX() const;
  double minY() const;
  double maxX() const;
  double maxY() const;
  double midX() const;
  double midY() const;
  QPointF center() const { return {midX(), midY()}; }

  Rect standardized() const;
  Rect integral() const;
  Rect insetBy(double dx, double dy) const;
  Rect offsetBy(double dx, double dy) const;
  Rect united(const Rect &other) const;
  Rect intersected(const Rect &other) const;
  // Positive-area overlap; rects that only share an edge do not intersect.
  bool intersects(const Rect &other) const;
  // Half-open: the left and top edges are inside, the right and bottom are not.
  bool contains(QPointF p) const;
  bool contains(const Rect &other) const;
  // Bounding box of the four transformed corners; null stays null.
  Rect applying(const QTransform &t) const;

  QRectF toQRectF() const { return null_ ? QRectF() : QRectF(x_, y_, w_, h_); }

  friend bool operator==(const Rect &a, const Rect &b) {
    if (a.null_ || b.null_)
      return a.null_ == b.null_;
    return a.x_ == b.x_ && a.y_ == b.y_ && a.w_ == b.w_ && a.h_ == b.h_;
  }

private:
  double x_ = 0, y_ = 0, w_ = 0, h_ = 0;
  bool null_ = true;
};

} // namespace crel::geom
