#include "SoftShadow.h"

#include "DeviceScale.h"

#include <QPainter>

#include <cmath>
#include <vector>

namespace crel {

namespace {

// Coverage of a blurred half-plane at signed distance t outside its edge.
double edgeCoverage(double t, double sigma) {
  if (sigma <= 0)
    return t < 0 ? 1 : 0;
  return 0.5 * std::erfc(t / (sigma * std::sqrt(2.0)));
}

QImage alphaImage(int width, int height, QColor color, double dpr, auto coverage) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  const double a = color.alphaF();
  for (int y = 0; y < height; ++y) {
    auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const int alpha = int(std::lround(255 * a * coverage(x + 0.5, y + 0.5)));
      row[x] = qPremultiply(qRgba(color.red(), color.green(), color.blue(), alpha));
    }
  }
  image.setDevicePixelRatio(dpr);
  return image;
}

} // namespace

SoftShadow::SoftShadow(double blur, QPointF offset, QColor color) : blur_(blur), offset_(offset), color_(color) {}

void SoftShadow::prepareRect(double dpr) {
  if (dpr == rectDpr_)
    return;
  rectDpr_ = dpr;
  const double sigma = blur_ / 2 * dpr;
  const int k = std::max(1, int(std::ceil(3 * sigma)));
  // Pixel (x, y) of a corner tile lies k - x outside the vertical edge when
  // the tile sits on the shape's left side, x - k when it sits on its right.
  // The coverage is separable, so the two profiles across an edge are worked
  // out once per pixel column rather than once per tile pixel: erfc over
  // four whole tiles was most of an editor's first frame.
  std::array<std::vector<double>, 2> profiles;
  for (int side = 0; side < 2; ++side)
    for (int i = 0; i < 2 * k; ++i)
      profiles[size_t(side)].push_back(edgeCoverage(side == 1 ? k - (i + 0.5) : (i + 0.5) - k, sigma));
  // `p` is a pixel centre (i + 0.5) of the tile.
  auto along = [&profiles](double p, bool outsideFirst) { return profiles[outsideFirst ? 1 : 0][size_t(p)]; };
  for (int i = 0; i < 4; ++i) {
    const bool left = i % 2 == 0, top = i < 2;
    corners_[size_t(i)] =
        alphaImage(2 * k, 2 * k, color_, dpr, [&](double x, double y) { return along(x, left) * along(y, top); });
  }
  edges_[0] = alphaImage(1, 2 * k, color_, dpr, [&](double, double y) { return along(y, true); });
  edges_[1] = alphaImage(1, 2 * k, color_, dpr, [&](double, double y) { return along(y, false); });
  edges_[2] = alphaImage(2 * k, 1, color_, dpr, [&](double x, double) { return along(x, true); });
  edges_[3] = alphaImage(2 * k, 1, color_, dpr, [&](double x, double) { return along(x, false); });
}

void SoftShadow::drawForRect(QPainter &painter, const QRectF &shape) {
  if (shape.isEmpty())
    return;
  const double dpr = deviceScale(painter);
  prepareRect(dpr);
  const QRectF r = shape.translated(offset_);
  const double k = corners_[0].width() / dpr / 2; // logical half size of a corner
  // On a shape narrower than two corners each corner keeps only its half.
  const double cx = std::min(k, r.width() / 2), cy = std::min(k, r.height() / 2);
  const double sx = (k + cx) * dpr, sy = (k + cy) * dpr;
  const double full = 2 * k * dpr;
  painter.drawImage(QRectF(r.left() - k, r.top() - k, k + cx, k + cy), corners_[0], QRectF(0, 0, sx, sy));
  painter.drawImage(QRectF(r.right() - cx, r.top() - k, k + cx, k + cy), corners_[1], QRectF(full - sx, 0, sx, sy));
  painter.drawImage(QRectF(r.left() - k, r.bottom() - cy, k + cx, k + cy), corners_[2], QRectF(0, full - sy, sx, sy));
  painter.drawImage(QRectF(r.right() - cx, r.bottom() - cy, k + cx, k + cy), corners_[3],
                    QRectF(full - sx, full - sy, sx, sy));
  const double innerW = r.width() - 2 * cx, innerH = r.height() - 2 * cy;
  if (innerW > 0) {
    painter.drawImage(QRectF(r.left() + cx, r.top() - k, innerW, k + cy), edges_[0], QRectF(0, 0, 1, sy));
    painter.drawImage(QRectF(r.left() + cx, r.bottom() - cy, innerW, k + cy), edges_[1], QRectF(0, full - sy, 1, sy));
  }
  if (innerH > 0) {
    painter.drawImage(QRectF(r.left() - k, r.top() + cy, k + cx, innerH), edges_[2], QRectF(0, 0, sx, 1));
    painter.drawImage(QRectF(r.right() - cx, r.top() + cy, k + cx, innerH), edges_[3], QRectF(full - sx, 0, sx, 1));
  }
}

void SoftShadow::prepareCircle(double radius, double dpr) {
  if (dpr == circleDpr_ && radius == circleRadius_)
    return;
  circleDpr_ = dpr;
  circleRadius_ = radius;
  const double sigma = blur_ / 2 * dpr, r = radius * dpr;
  const int size = 2 * int(std::ceil(r + 3 * sigma + 1));
  const double c = size / 2.0;
  circle_ = alphaImage(size, size, color_, dpr,
                       [&](double x, double y) { return edgeCoverage(std::hypot(x - c, y - c) - r, sigma); });
}

void SoftShadow::drawForCircle(QPainter &painter, QPointF centre, double radius) {
  const double dpr = deviceScale(painter);
  prepareCircle(radius, dpr);
  const double half = circle_.width() / dpr / 2;
  painter.drawImage(QRectF(centre + offset_ - QPointF(half, half), QSizeF(2 * half, 2 * half)), circle_);
}

} // namespace crel
