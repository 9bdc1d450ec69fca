#include "document/ExtendedImageBackground.h"
#include "support/TestSupport.h"

#include <QColorSpace>
#include <QPainter>

#include <gtest/gtest.h>

using namespace crel;
using test::filledImage;

TEST(ExtendedImageBackground, GrainIgnoresThePaintersScaleSmoothing) {
  const ExtendedImageBackground background(filledImage({10, 10}, Qt::black));
  QImage out = filledImage({64, 64}, Qt::transparent);
  QPainter painter(&out);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.scale(4, 4);
  painter.translate(20, 20);
  background.draw(painter, geom::Rect(-20, -20, 16, 16), true);
  painter.end();
  // Each grain pixel becomes a sharp 4×4 block.
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      ASSERT_EQ(out.pixel(x, y), ExtendedImageBackground::grain().pixel(108 + x / 4, 108 + y / 4)) << x << "," << y;
}

TEST(ExtendedImageBackground, PixelsAreSrgbPremultipliedAndSharedWhenTheyCanBe) {
  const QImage plain = filledImage({8, 8}, QColor(1, 2, 3));
  const ExtendedImageBackground shared(plain);
  EXPECT_EQ(shared.pixels().constBits(), plain.constBits()); // no second copy of a large screenshot
  EXPECT_EQ(&shared.rendering(), &shared.pixels());

  QImage straight(4, 4, QImage::Format_ARGB32);
  straight.fill(qRgba(200, 100, 50, 128));
  const ExtendedImageBackground converted(straight);
  EXPECT_EQ(converted.pixels().format(), QImage::Format_ARGB32_Premultiplied);
  EXPECT_EQ(converted.pixels().pixel(0, 0), qPremultiply(qRgba(200, 100, 50, 128)));
  EXPECT_EQ(converted.original().format(), QImage::Format_ARGB32);

  QImage wide = filledImage({4, 4}, qRgb(0, 200, 0), QImage::Format_RGB32);
  wide.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
  const ExtendedImageBackground p3(wide);
  const QRgb green = p3.pixels().pixel(0, 0);
  EXPECT_GT(qGreen(green), 200); // P3 green lies outside sRGB: it saturates further
  EXPECT_EQ(qAlpha(green), 255);
  EXPECT_EQ(p3.original().pixel(0, 0), qRgb(0, 200, 0));
}
