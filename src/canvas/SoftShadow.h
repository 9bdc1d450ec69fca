#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>

#include <array>

class QPainter;

namespace crel {

// A soft drop shadow, as desktop toolkits and CSS draw them: the shape's coverage
// blurred with a Gaussian of sigma = blur / 2, tinted, offset. QPainter has no
// shadows, so the pieces are rendered once per (blur, colour, device pixel
// ratio) and reused on every frame: a rectangle's shadow is nine-patched from
// four corners and four edge profiles; a small disc's shadow is one image.
// Lengths are in the painter's logical units; the offset's y grows downward.
class SoftShadow {
public:
  SoftShadow(double blur, QPointF offset, QColor color);

  // The shadow of a rectangle. Its interior is not painted: callers fill the
  // shape itself over it, and the offset is smaller than the blur's reach.
  void drawForRect(QPainter &painter, const QRectF &rect);
  // The shadow of a circle of `radius` around `centre`.
  void drawForCircle(QPainter &painter, QPointF centre, double radius);

private:
  void prepareRect(double dpr);
  void prepareCircle(double radius, double dpr);

  double blur_;
  QPointF offset_;
  QColor color_;

  double rectDpr_ = 0;
  std::array<QImage, 4> corners_; // top-left, top-right, bottom-left, bottom-right
  std::array<QImage, 4> edges_;   // top, bottom (1 px wide); left, right (1 px high)

  double circleDpr_ = 0, circleRadius_ = -1;
  QImage circle_;
};

} // namespace crel
