#include "document/ImagePyramid.h"
#include "support/TestSupport.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace crel;

namespace {

QImage checkerboard(int w, int h) {
  return test::generatedImage({w, h}, [](int x, int y) { return (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0); });
}

} // namespace

TEST(ImagePyramid, LevelsHalveDownToOnePixel) {
  const ImagePyramid pyramid(checkerboard(5, 3));
  ASSERT_EQ(pyramid.levelCount(), 4);
  EXPECT_EQ(pyramid.level(1).size(), QSize(3, 2));
  EXPECT_EQ(pyramid.level(2).size(), QSize(2, 1));
  EXPECT_EQ(pyramid.level(3).size(), QSize(1, 1));
  EXPECT_EQ(pyramid.level(9).size(), QSize(1, 1)); // beyond the last: the last
  EXPECT_EQ(ImagePyramid(QImage(1, 1, QImage::Format_RGB32)).levelCount(), 1);
  EXPECT_TRUE(ImagePyramid().level(0).isNull());
  EXPECT_EQ(ImagePyramid::levelScale(3), 0.125);
}

TEST(ImagePyramid, HalvingAveragesBlocksAndRepeatsAnOddEdge) {
  const QRgb values[3][3] = {{qRgb(0, 0, 0), qRgb(10, 20, 30), qRgb(100, 100, 100)},
                             {qRgb(4, 8, 12), qRgb(255, 255, 255), qRgb(50, 60, 70)},
                             {qRgb(1, 1, 1), qRgb(3, 3, 3), qRgb(7, 7, 7)}};
  const QImage image = test::generatedImage({3, 3}, [&](int x, int y) { return values[y][x]; });
  const QImage half = ImagePyramid::halved(image);
  ASSERT_EQ(half.size(), QSize(2, 2));
  EXPECT_EQ(half.pixel(0, 0),
            qRgb((0 + 10 + 4 + 255 + 2) / 4, (0 + 20 + 8 + 255 + 2) / 4, (0 + 30 + 12 + 255 + 2) / 4));
  EXPECT_EQ(half.pixel(1, 0), qRgb((100 + 100 + 50 + 50 + 2) / 4, (100 + 100 + 60 + 60 + 2) / 4, (200 + 140 + 2) / 4));
  EXPECT_EQ(half.pixel(0, 1), qRgb((1 + 3 + 1 + 3 + 2) / 4, 2, 2));
  EXPECT_EQ(half.pixel(1, 1), qRgb(7, 7, 7));

  // Premultiplied: half-covered red next to clear stays red, only fainter.
  QImage edge = test::filledImage({2, 2}, Qt::transparent);
  edge.setPixel(0, 0, qRgba(255, 0, 0, 255));
  edge.setPixel(1, 0, qRgba(255, 0, 0, 255));
  const QRgb mixed = ImagePyramid::halved(edge).pixel(0, 0);
  EXPECT_EQ(mixed, qRgba(128, 0, 0, 128));
  EXPECT_EQ(qRed(qUnpremultiply(mixed)), 255);
}

TEST(ImagePyramid, LargeHalvingsMatchAPlainAverage) {
  const QImage image =
      test::generatedImage({1001, 777}, // split over threads
                           [](int x, int y) { return qRgba((x * 7) % 256, (y * 3) % 256, (x ^ y) % 256, 255); });
  const QImage half = ImagePyramid::halved(image);
  ASSERT_EQ(half.size(), QSize(501, 389));
  for (int y = 0; y < half.height(); ++y)
    for (int x = 0; x < half.width(); ++x) {
      int sum[3] = {};
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
          const QRgb p = image.pixel(std::min(2 * x + dx, 1000), std::min(2 * y + dy, 776));
          sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
        }
      ASSERT_EQ(half.pixel(x, y), qRgb((sum[0] + 2) / 4, (sum[1] + 2) / 4, (sum[2] + 2) / 4)) << x << "," << y;
    }
}

TEST(ImagePyramid, LevelChoiceNeverShrinksTheChosenLevelByMoreThanHalf) {
  const ImagePyramid pyramid(QImage(4096, 1024, QImage::Format_ARGB32_Premultiplied)); // 13 levels
  EXPECT_EQ(pyramid.levelFor(2), 0);
  EXPECT_EQ(pyramid.levelFor(1), 0);
  EXPECT_EQ(pyramid.levelFor(0.75), 0);
  EXPECT_EQ(pyramid.levelFor(0.5), 1);
  EXPECT_EQ(pyramid.levelFor(0.3), 1);
  EXPECT_EQ(pyramid.levelFor(0.25), 2);
  EXPECT_EQ(pyramid.levelFor(0.2), 2);
  EXPECT_EQ(pyramid.levelFor(1e-9), 12);
  EXPECT_EQ(pyramid.levelFor(0), 0);
  EXPECT_EQ(pyramid.levelFor(NAN), 0);
}

TEST(ImagePyramid, LevelsAreBuiltOnceAndAgreeAcrossThreads) {
  const ImagePyramid pyramid(checkerboard(300, 200));
  std::vector<QImage> seen(6);
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 6; ++t)
      threads.emplace_back([&, t] { seen[t] = pyramid.level(4); });
  }
  const QImage expected =
      ImagePyramid::halved(ImagePyramid::halved(ImagePyramid::halved(ImagePyramid::halved(checkerboard(300, 200)))));
  for (const QImage &image : seen) {
    EXPECT_EQ(image, expected);
    EXPECT_EQ(image.constBits(), seen[0].constBits()); // one shared level, not six
  }
}

TEST(ImagePyramid, DrawingSmallAveragesInsteadOfAliasing) {
  const ImagePyramid pyramid(checkerboard(400, 400));
  QImage out = test::filledImage({100, 100}, Qt::red);
  QPainter painter(&out);
  painter.scale(0.25, 0.25);
  pyramid.draw(painter, QRectF(0, 0, 400, 400));
  painter.end();
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
      ASSERT_NEAR(qGreen(out.pixel(x, y)), 128, 2) << x << "," << y;

  // Zoomed in, only the visible part is read, and the result is what
  // drawing the whole image would give.
  auto zoomedView = [](auto draw) {
    QImage view = test::filledImage({40, 40}, Qt::red);
    QPainter zoom(&view);
    zoom.setRenderHint(QPainter::SmoothPixmapTransform);
    zoom.scale(4, 4);
    zoom.translate(-201.3, -100);
    draw(zoom);
    return view;
  };
  const QImage ours = zoomedView([&](QPainter &p) { pyramid.draw(p, QRectF(0, 0, 400, 400)); });
  const QImage whole = zoomedView([&](QPainter &p) { p.drawImage(QRectF(0, 0, 400, 400), checkerboard(400, 400)); });
  EXPECT_EQ(ours, whole);
}
