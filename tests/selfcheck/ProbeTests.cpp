#include "selfcheck/Failure.h"
#include "selfcheck/PixelProbe.h"
#include "selfcheck/ShapeProbe.h"

#include <QBuffer>

#include <gtest/gtest.h>

using namespace crel;
using namespace crel::NativeTests;

namespace {

QByteArray pngOf(const QImage &image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

} // namespace

TEST(PixelProbe, DecodesTopRowFirstWithStraightAlpha) {
  QImage source(4, 3, QImage::Format_ARGB32);
  source.fill(Qt::transparent);
  source.setPixelColor(1, 0, QColor(255, 0, 0));
  source.setPixelColor(2, 2, QColor(0, 0, 255, 128));
  const QImage decoded = decodePNG(pngOf(source), "The export");
  EXPECT_EQ(colorAt(decoded, 1, 0), QColor(255, 0, 0));
  const QColor translucent = colorAt(decoded, 2, 2);
  EXPECT_EQ(translucent.blue(), 255); // not premultiplied
  EXPECT_EQ(translucent.alpha(), 128);
}

TEST(PixelProbe, MissingValuesFailByName) {
  try {
    decodePNG("not a png", "The pasteboard's PNG data");
    FAIL();
  } catch (const Failure &failure) {
    EXPECT_EQ(failure.description(), QString("The pasteboard's PNG data could not be decoded as PNG"));
  }
  const QImage image(10, 5, QImage::Format_RGBA8888);
  EXPECT_THROW(colorAt(image, 10, 0), Failure);
  EXPECT_THROW(colorAt(image, 0, -1), Failure);
  EXPECT_THROW(colorAt(image, geom::Rect(0, 0, 10, 5), qQNaN(), 0), Failure);
}

TEST(PixelProbe, CanvasPointsAreOffsetByTheExportRectAndCutTowardZero) {
  QImage image(40, 30, QImage::Format_RGBA8888);
  image.fill(Qt::white);
  image.setPixelColor(19, 10, Qt::black);
  const geom::Rect rect(-20, -10, 40, 30);
  EXPECT_EQ(colorAt(image, rect, -0.5, 0.9), QColor(Qt::black));
  EXPECT_EQ(colorAt(image, rect, -1.0, 1), QColor(Qt::white));
  // Toward zero, not down: half a pixel left of the export is still column 0.
  EXPECT_EQ(colorAt(image, rect, -20.5, -10), QColor(Qt::white));
}

TEST(PixelProbe, DistanceAndStrictMatching) {
  const QColor black(Qt::black), white(Qt::white);
  EXPECT_EQ(distance(black, black), 0);
  EXPECT_DOUBLE_EQ(distance(black, white), 3);
  EXPECT_DOUBLE_EQ(distance(QColor(0, 0, 0, 0), white), 4);

  const QColor base = QColor::fromRgba64(32768, 32768, 32768, 65535);
  EXPECT_TRUE(matches(base, QColor::fromRgba64(32768 + 327, 32768, 32768, 65535)));  // 0.00499
  EXPECT_FALSE(matches(base, QColor::fromRgba64(32768, 32768 + 328, 32768, 65535))); // 0.00500
  EXPECT_FALSE(matches(base, QColor::fromRgba64(32768, 32768, 32768, 65535 - 328)));
}

TEST(ShapeProbe, ThicknessCountsSamplesInside) {
  QPainterPath band;
  band.addRect(-100, -5, 200, 10);
  EXPECT_NEAR(thickness(band, 0), 10, 0.25);
  EXPECT_EQ(thickness(band, 150), 0);
  QPainterPath tall;
  tall.addRect(-1, -100, 2, 200);
  EXPECT_EQ(thickness(tall, 0), 80.25); // every one of the 321 samples
}

TEST(ShapeProbe, NearMeansCloserThanAThousandth) {
  EXPECT_TRUE(near({1, 1}, {1.0009, 1}));
  EXPECT_FALSE(near({1, 1}, {1.0011, 1}));
  EXPECT_FALSE(near({0, 0}, {qQNaN(), 0}));
}
