#include "document/ExtendedImageBackground.h"

#include <QColorSpace>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdint>

using namespace crel;

namespace {

// The grain recomputed from its definition, written differently on purpose:
// 64-bit state masked to 32 bits after every shift.
int expectedGrain(int x, int y) {
  std::uint64_t s = 0x71A3B92D;
  int g = 0;
  for (int i = 0; i <= y * 128 + x; ++i) {
    s = (s ^ (s << 13)) & 0xFFFFFFFF;
    s = s ^ (s >> 17);
    s = (s ^ (s << 5)) & 0xFFFFFFFF;
    g = 239 + static_cast<int>(s % 5);
  }
  return g;
}

QImage solid(int w, int h, QColor colour) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(colour);
  return image;
}

// Exports the canvas rectangle `rect` the way a flattening does: a cleared
// bitmap of the rectangle's size, translated by its origin.
QImage exported(const ExtendedImageBackground &background, const QRect &rect) {
  QImage out(rect.size(), QImage::Format_ARGB32_Premultiplied);
  out.fill(Qt::transparent);
  QPainter painter(&out);
  painter.translate(-rect.topLeft());
  background.draw(painter, geom::Rect::fromQRectF(rect), false);
  return out;
}

int grey(QRgb p) { return qAlpha(p) == 255 && qRed(p) == qGreen(p) && qGreen(p) == qBlue(p) ? qRed(p) : -1; }

int positiveModulo(int v, int m) { return ((v % m) + m) % m; }

} // namespace

TEST(ExtendedImageBackground, GrainTileIsExact) {
  const QImage &tile = ExtendedImageBackground::grain();
  ASSERT_EQ(tile.size(), QSize(128, 128));
  // Worked by hand from the seed: the first state is 0xD64557AE (3,594,868,654),
  // 3,594,868,654 mod 5 = 4, so the first pixel is 243.
  EXPECT_EQ(tile.pixel(0, 0), qRgb(243, 243, 243));
  EXPECT_EQ(grey(tile.pixel(1, 0)), 243);
  EXPECT_EQ(grey(tile.pixel(2, 0)), 240);
  EXPECT_EQ(grey(tile.pixel(3, 0)), 239);
  EXPECT_EQ(grey(tile.pixel(0, 1)), 239); // rows follow each other, top row first
  EXPECT_EQ(grey(tile.pixel(100, 64)), 239);
  EXPECT_EQ(grey(tile.pixel(127, 127)), 242);
  int counts[5] = {};
  std::uint32_t s = 0x71A3B92D;
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) {
      s ^= s << 13, s ^= s >> 17, s ^= s << 5;
      ASSERT_EQ(grey(tile.pixel(x, y)), 239 + static_cast<int>(s % 5)) << x << "," << y;
      ++counts[s % 5];
    }
  for (int c : counts)
    EXPECT_GT(c, 3000); // all five greys occur, none dominates
  EXPECT_EQ(expectedGrain(127, 127), 242);
}

TEST(ExtendedImageBackground, OutsideTheScreenshotIsGrainAnchoredAtTheCanvasOrigin) {
  const QColor red(200, 10, 20);
  const ExtendedImageBackground background(solid(100, 60, red));
  const QRect rect(-40, -40, 300, 120);
  const QImage out = exported(background, rect);
  for (int y = 0; y < rect.height(); ++y)
    for (int x = 0; x < rect.width(); ++x) {
      const int cx = rect.x() + x, cy = rect.y() + y;
      const bool inside = cx >= 0 && cy >= 0 && cx < 100 && cy < 60;
      if (inside)
        ASSERT_EQ(out.pixel(x, y), red.rgb()) << cx << "," << cy;
      else
        ASSERT_EQ(out.pixel(x, y),
                  ExtendedImageBackground::grain().pixel(positiveModulo(cx, 128), positiveModulo(cy, 128)))
            << cx << "," << cy;
    }
  // Canvas (-128, 0) repeats (0, 0) in a second, separate export.
  const QImage left = exported(background, QRect(-256, -30, 128, 20));
  const QImage right = exported(background, QRect(-128, -30, 128, 20));
  EXPECT_EQ(left, right);
  EXPECT_EQ(exported(background, QRect(-40, -40, 300, 120)), out); // deterministic
}

TEST(ExtendedImageBackground, GrainIgnoresThePaintersScaleSmoothing) {
  const ExtendedImageBackground background(solid(10, 10, Qt::black));
  QImage out(64, 64, QImage::Format_ARGB32_Premultiplied);
  out.fill(Qt::transparent);
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

TEST(ExtendedImageBackground, InsideTheScreenshotOnlyTheScreenshotIsPainted) {
  QImage image(50, 40, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x)
      image.setPixel(x, y, qRgb(x * 5, y * 6, 7));
  const ExtendedImageBackground background(image);
  EXPECT_EQ(exported(background, QRect(10, 5, 30, 20)), image.copy(10, 5, 30, 20));
  EXPECT_EQ(exported(background, QRect(0, 0, 50, 40)), image);
  // A one-pixel sample, as the colour inspection takes it.
  EXPECT_EQ(exported(background, QRect(49, 39, 1, 1)).pixel(0, 0), image.pixel(49, 39));
  // Transparent screenshot pixels stay transparent; no grey shows through.
  QImage clear(20, 20, QImage::Format_ARGB32_Premultiplied);
  clear.fill(Qt::transparent);
  EXPECT_EQ(exported(ExtendedImageBackground(clear), QRect(0, 0, 20, 20)), clear);
}

TEST(ExtendedImageBackground, PreviewSizes) {
  EXPECT_EQ(ExtendedImageBackground::previewSize({1920, 1080}), QSize(114, 64));
  EXPECT_EQ(ExtendedImageBackground::previewSize({4000, 100}), QSize(2560, 64));
  EXPECT_EQ(ExtendedImageBackground::previewSize({50, 30}), QSize(50, 30));
  EXPECT_EQ(ExtendedImageBackground::previewSize({1, 1}), QSize(1, 1));
  EXPECT_EQ(ExtendedImageBackground::previewSize({0, 0}), QSize(1, 1));
  EXPECT_EQ(ExtendedImageBackground::previewSize({10000, 1}), QSize(10000, 1));
  EXPECT_EQ(ExtendedImageBackground::previewSize({129, 128}), QSize(65, 64)); // 64.5 rounds away from zero

  const ExtendedImageBackground wide(solid(1920, 1080, QColor(10, 120, 230)));
  ASSERT_EQ(wide.preview().size(), QSize(114, 64));
  EXPECT_EQ(wide.preview().pixel(57, 32), QColor(10, 120, 230).rgb());
  EXPECT_EQ(ExtendedImageBackground(QImage()).preview().size(), QSize(1, 1));
  EXPECT_EQ(ExtendedImageBackground(QImage()).size(), QSize(0, 0));
}

TEST(ExtendedImageBackground, PixelsAreSrgbPremultipliedAndSharedWhenTheyCanBe) {
  const QImage plain = solid(8, 8, QColor(1, 2, 3));
  const ExtendedImageBackground shared(plain);
  EXPECT_EQ(shared.pixels().constBits(), plain.constBits()); // no second copy of a large screenshot
  EXPECT_EQ(&shared.rendering(), &shared.pixels());

  QImage straight(4, 4, QImage::Format_ARGB32);
  straight.fill(qRgba(200, 100, 50, 128));
  const ExtendedImageBackground converted(straight);
  EXPECT_EQ(converted.pixels().format(), QImage::Format_ARGB32_Premultiplied);
  EXPECT_EQ(converted.pixels().pixel(0, 0), qPremultiply(qRgba(200, 100, 50, 128)));
  EXPECT_EQ(converted.original().format(), QImage::Format_ARGB32);

  QImage wide(4, 4, QImage::Format_RGB32);
  wide.fill(qRgb(0, 200, 0));
  wide.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
  const ExtendedImageBackground p3(wide);
  const QRgb green = p3.pixels().pixel(0, 0);
  EXPECT_GT(qGreen(green), 200); // P3 green lies outside sRGB: it saturates further
  EXPECT_EQ(qAlpha(green), 255);
  EXPECT_EQ(p3.original().pixel(0, 0), qRgb(0, 200, 0));
}
