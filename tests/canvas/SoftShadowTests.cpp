#include "canvas/SoftShadow.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

using namespace crel;

namespace {

QImage shadowOf(const QRectF &rect, double blur, QPointF offset, double dpr = 1) {
  QImage image(QSize(400, 300) * dpr, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(dpr);
  image.fill(Qt::transparent);
  SoftShadow shadow(blur, offset, QColor::fromRgbF(0, 0, 0, 0.5f));
  QPainter painter(&image);
  shadow.drawForRect(painter, rect);
  return image;
}

TEST(SoftShadow, RectShadowFadesAcrossTheEdgeAndLeavesTheInteriorUnpainted) {
  // sigma 10: the Gaussian's edge profile, nothing 3 sigma out. Pixel 99's
  // centre lies half a pixel outside the edge.
  const QImage image = shadowOf(QRectF(100, 80, 200, 140), 20, {0, 0});
  EXPECT_NEAR(qAlpha(image.pixel(99, 150)), 0.5 * 255 * 0.5 * std::erfc(0.5 / (10 * std::sqrt(2.0))), 1);
  EXPECT_EQ(qAlpha(image.pixel(68, 150)), 0);
  EXPECT_GT(qAlpha(image.pixel(90, 150)), qAlpha(image.pixel(80, 150)));
  EXPECT_EQ(qAlpha(image.pixel(200, 150)), 0); // the shape itself covers it
  // Symmetric on all four sides, corners included.
  EXPECT_EQ(image.pixel(95, 150), image.pixel(304, 150));
  EXPECT_EQ(image.pixel(200, 75), image.pixel(200, 224));
  EXPECT_EQ(image.pixel(95, 75), image.pixel(304, 224));
  // Continuous where a corner meets an edge.
  EXPECT_NEAR(qAlpha(image.pixel(95, 109)), qAlpha(image.pixel(95, 111)), 3);
}

TEST(SoftShadow, OffsetMovesItDownAndHighDensityMatches) {
  const QImage plain = shadowOf(QRectF(100, 80, 200, 140), 20, {0, 0});
  const QImage shifted = shadowOf(QRectF(100, 80, 200, 130), 20, {0, 10});
  EXPECT_EQ(shifted.pixel(200, 224), plain.pixel(200, 224)); // both shadows end at y = 220
  EXPECT_LT(qAlpha(shifted.pixel(200, 75)), qAlpha(plain.pixel(200, 75)));
  const QImage dense = shadowOf(QRectF(100, 80, 200, 140), 20, {0, 0}, 2);
  EXPECT_NEAR(qAlpha(dense.pixel(2 * 90 + 1, 300)), qAlpha(plain.pixel(90, 150)), 6);
}

TEST(SoftShadow, NarrowShapeNeverDarkensTwice) {
  // Narrower than two corners: each side keeps its own half.
  const QImage image = shadowOf(QRectF(190, 80, 20, 140), 20, {0, 0});
  const int centre = qAlpha(image.pixel(200, 75));
  EXPECT_LE(centre, qRound(0.5 * 255));
  EXPECT_NEAR(qAlpha(image.pixel(199, 75)), qAlpha(image.pixel(200, 75)), 3);
}

} // namespace
