#include "document/PatchFilter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace crel;

namespace {

QImage filled(int w, int h, QRgb premultipliedColour) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(premultipliedColour);
  return image;
}

QImage noise(int w, int h, unsigned seed) {
  std::mt19937 random(seed);
  return test::generatedImage({w, h}, [&](int, int) {
    const int a = static_cast<int>(random() % 256);
    return qRgba(random() % (a + 1), random() % (a + 1), random() % (a + 1), a);
  });
}

// Reference: a sampled Gaussian kernel (±4σ, normalised) on one line whose
// ends repeat without end.
std::vector<double> gaussianLine(const std::vector<double> &line, double sigma) {
  const int radius = static_cast<int>(std::ceil(4 * sigma));
  std::vector<double> kernel(2 * radius + 1);
  double total = 0;
  for (int i = -radius; i <= radius; ++i)
    total += kernel[i + radius] = std::exp(-i * i / (2 * sigma * sigma));
  const int n = static_cast<int>(line.size());
  std::vector<double> out(n);
  for (int x = 0; x < n; ++x)
    for (int i = -radius; i <= radius; ++i)
      out[x] += kernel[i + radius] / total * line[std::clamp(x + i, 0, n - 1)];
  return out;
}

// The image with `pad` copies of its edge pixels on every side.
QImage edgePadded(const QImage &image, int pad) {
  return test::generatedImage(image.size() + QSize(2 * pad, 2 * pad), [&](int x, int y) {
    return image.pixel(std::clamp(x - pad, 0, image.width() - 1), std::clamp(y - pad, 0, image.height() - 1));
  });
}

} // namespace

TEST(PatchFilter, StrengthDefaultsAndClamps) {
  EXPECT_EQ(PatchFilter::strength(std::nullopt), 16);
  EXPECT_EQ(PatchFilter::strength(2), 4);
  EXPECT_EQ(PatchFilter::strength(200), 96);
  EXPECT_EQ(PatchFilter::strength(NAN), 4);
  EXPECT_EQ(PatchFilter::strength(-INFINITY), 4);
  EXPECT_EQ(PatchFilter::strength(50.5), 50.5);
}

TEST(PatchFilter, WorkingAreaLimits) {
  EXPECT_TRUE(PatchFilter::workingAreaFits(QRect(0, 0, 32768, 2441)));
  EXPECT_FALSE(PatchFilter::workingAreaFits(QRect(0, 0, 32769, 1)));
  EXPECT_FALSE(PatchFilter::workingAreaFits(QRect(0, 0, 1, 32769)));
  EXPECT_TRUE(PatchFilter::workingAreaFits(QRect(-5, -5, 10000, 8000)));
  EXPECT_FALSE(PatchFilter::workingAreaFits(QRect(-5, -5, 10000, 8001)));
}

TEST(PatchFilter, FlatImagesStayExactlyFlat) {
  const QRgb colour = qPremultiply(qRgba(200, 100, 30, 131));
  for (double s : {0.2, 4.0, 16.0, 96.0, 3000.0}) {
    const QImage blurred = PatchFilter::gaussianBlur(filled(90, 70, colour), s, QRect(-10, 5, 110, 40));
    ASSERT_EQ(blurred.size(), QSize(110, 40));
    const QImage pixelated = PatchFilter::pixelate(filled(90, 70, colour), s, QPointF(-3, 7), QRect(0, 0, 90, 70));
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 110; ++x)
        ASSERT_EQ(blurred.pixel(x, y), colour) << s << " at " << x << "," << y;
    for (int y = 0; y < 70; ++y)
      for (int x = 0; x < 90; ++x)
        ASSERT_EQ(pixelated.pixel(x, y), colour) << s;
  }
}

TEST(PatchFilter, BlurFollowsAGaussianOnAStepAndAnImpulse) {
  for (double sigma : {4.0, 8.0, 24.0}) {
    const int w = 400;
    std::vector<double> stepLine(w), impulseLine(w);
    for (int x = 0; x < w; ++x) {
      stepLine[x] = x < w / 2 ? 0 : 255;
      impulseLine[x] = x == w / 2 ? 255 : 0;
    }
    const auto grey = [w](const std::vector<double> &line) {
      return test::generatedImage({w, 8}, [&](int x, int) { return qRgb(int(line[x]), int(line[x]), int(line[x])); });
    };
    const QImage step = grey(stepLine), impulse = grey(impulseLine);
    const QImage blurredStep = PatchFilter::gaussianBlur(step, sigma, step.rect());
    const QImage blurredImpulse = PatchFilter::gaussianBlur(impulse, sigma, impulse.rect());
    const std::vector<double> expectedStep = gaussianLine(stepLine, sigma);
    const std::vector<double> expectedImpulse = gaussianLine(impulseLine, sigma);
    double worstStep = 0, worstImpulse = 0, mass = 0;
    for (int x = 0; x < w; ++x) {
      worstStep = std::max(worstStep, std::abs(qRed(blurredStep.pixel(x, 4)) - expectedStep[x]));
      worstImpulse = std::max(worstImpulse, std::abs(qRed(blurredImpulse.pixel(x, 4)) - expectedImpulse[x]));
      mass += qRed(blurredImpulse.pixel(x, 4));
      // Symmetric about the impulse: a one-pixel shift anywhere would break this.
      if (x > 0) {
        ASSERT_EQ(blurredImpulse.pixel(w / 2 - x + w / 2, 4), blurredImpulse.pixel(x, 4)) << sigma << " at " << x;
      }
    }
    EXPECT_LE(worstStep, 3.5) << sigma; // under 1.5% of full scale
    EXPECT_LE(worstImpulse, 0.05 * expectedImpulse[w / 2] + 1) << sigma;
    EXPECT_NEAR(mass, 255, 6) << sigma; // nothing lost or gained
    EXPECT_EQ(blurredStep.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(blurredStep.pixel(w - 1, 7), qRgb(255, 255, 255));
  }
}

TEST(PatchFilter, BlurStaysPremultipliedAndDoesNotDarkenEdges) {
  QImage image = filled(80, 80, 0);
  for (int y = 30; y < 50; ++y)
    for (int x = 30; x < 50; ++x)
      image.setPixel(x, y, qRgba(250, 0, 0, 255));
  const QImage blurred = PatchFilter::gaussianBlur(image, 6, image.rect());
  int fringe = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 80; ++x) {
      const QRgb p = blurred.pixel(x, y);
      ASSERT_LE(qRed(p), qAlpha(p));
      ASSERT_EQ(qGreen(p), 0);
      if (qAlpha(p) >= 40) { // the fading edge keeps its colour, it does not turn dark
        ++fringe;
        ASSERT_NEAR(qRed(qUnpremultiply(p)), 250, 7) << x << "," << y;
      }
    }
  EXPECT_GT(fringe, 400);
}

TEST(PatchFilter, BlurRepeatsEdgePixelsBeyondTheSource) {
  const QImage source = noise(50, 37, 7);
  const int pad = 3 * 5 + 4;
  const QImage padded = edgePadded(source, pad);
  // Crops at, across and beyond every edge, compared with the same crop of
  // an image padded explicitly.
  for (const QRect crop :
       {QRect(0, 0, 50, 37), QRect(-6, -6, 20, 20), QRect(40, 30, 14, 11), QRect(-4, 10, 3, 5), QRect(20, -2, 1, 41)}) {
    const QImage got = PatchFilter::gaussianBlur(source, 5, crop);
    const QImage expected = PatchFilter::gaussianBlur(padded, 5, crop.translated(pad, pad));
    EXPECT_EQ(got, expected) << crop.x() << "," << crop.y();
  }
  // A crop is exactly the same part of a larger result.
  const QImage whole = PatchFilter::gaussianBlur(source, 5, source.rect());
  EXPECT_EQ(PatchFilter::gaussianBlur(source, 5, QRect(7, 3, 21, 30)), whole.copy(7, 3, 21, 30));
  // Near the border of an opaque image the result stays opaque.
  const QImage opaque = PatchFilter::gaussianBlur(filled(40, 40, qRgb(9, 9, 9)), 30, QRect(-20, -20, 30, 30));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x)
      ASSERT_EQ(qAlpha(opaque.pixel(x, y)), 255);
}

TEST(PatchFilter, TinySigmaCopiesAndHugeSigmaAverages) {
  const QImage source = noise(64, 48, 3);
  for (double sigma : {0.0, -2.0, double(NAN)})
    EXPECT_EQ(PatchFilter::gaussianBlur(source, sigma, QRect(5, 6, 30, 20)), source.copy(5, 6, 30, 20));
  // A tenth of a pixel (variance 0.01) mixes in about 0.5% of each
  // neighbour, as a discrete Gaussian of that variance does.
  const QImage faint = PatchFilter::gaussianBlur(source, 0.1, QRect(5, 6, 30, 20));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x)
      ASSERT_NEAR(qAlpha(faint.pixel(x, y)), qAlpha(source.pixel(x + 5, y + 6)), 6);
  const QImage halves =
      test::generatedImage({64, 48}, [](int x, int) { return x < 32 ? qRgb(0, 0, 0) : qRgb(255, 255, 255); });
  const QImage flat = PatchFilter::gaussianBlur(halves, 5000, halves.rect());
  for (int x = 0; x < 64; ++x)
    ASSERT_NEAR(qRed(flat.pixel(x, 20)), 128, 2) << x;
  EXPECT_TRUE(PatchFilter::gaussianBlur(QImage(), 4, QRect(0, 0, 4, 4)).isNull());
  EXPECT_TRUE(PatchFilter::gaussianBlur(source, 4, QRect()).isNull());
}

TEST(PatchFilter, PixelateAveragesCellsOfTheGrid) {
  const QImage source = noise(61, 43, 11);
  const QPointF origin(-3, 7); // cells start at x = 7, 17, … and y = 7, 17, …
  const QImage out = PatchFilter::pixelate(source, 10, origin, source.rect());
  auto cellStart = [](int v, int o) { return o + static_cast<int>(std::floor((v - o) / 10.0)) * 10; };
  for (int y = 0; y < 43; ++y)
    for (int x = 0; x < 61; ++x) {
      const int x0 = cellStart(x, 7), y0 = cellStart(y, 7);
      long sum[4] = {};
      for (int cy = y0; cy < y0 + 10; ++cy)
        for (int cx = x0; cx < x0 + 10; ++cx) { // outside the source: its edge pixels repeat
          const QRgb p = source.pixel(std::clamp(cx, 0, 60), std::clamp(cy, 0, 42));
          sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p), sum[3] += qAlpha(p);
        }
      ASSERT_EQ(out.pixel(x, y),
                qRgba((sum[0] + 50) / 100, (sum[1] + 50) / 100, (sum[2] + 50) / 100, (sum[3] + 50) / 100))
          << x << "," << y;
    }
  // A crop whose border cuts through cells agrees with the whole grid.
  EXPECT_EQ(PatchFilter::pixelate(source, 10, origin, QRect(12, 3, 33, 29)), out.copy(12, 3, 33, 29));
}

TEST(PatchFilter, PixelatePartialCellsAndFractionalSizes) {
  const QImage ramp = test::generatedImage({25, 4}, [](int x, int) { return qRgb(10 * x, 0, 0); });
  // The last cell spans columns 20…29; 25…29 repeat column 24 (240).
  const QImage edge = PatchFilter::pixelate(ramp, 10, QPointF(0, 0), QRect(20, 0, 5, 4));
  EXPECT_EQ(qRed(edge.pixel(0, 0)), (200 + 210 + 220 + 230 + 240 + 5 * 240) / 10);
  // Size 2.5: pixel centres split the columns 2, 3, 2, 3, …
  const QImage fractional = PatchFilter::pixelate(ramp, 2.5, QPointF(0, 0), QRect(0, 0, 10, 1));
  const int expected[] = {5, 5, 30, 30, 30, 55, 55, 80, 80, 80};
  for (int x = 0; x < 10; ++x)
    EXPECT_EQ(qRed(fractional.pixel(x, 0)), expected[x]) << x;
}

TEST(PatchFilter, PatchesShareOneGridAnchoredAtTheCanvasOrigin) {
  // Gradient "canvas" content: every cell differs from its neighbours.
  const QRect area(37, -53, 220, 160);
  const QImage working = test::generatedImage(area.size(), [](int x, int y) { return qRgb(x, y, (x * y) % 256); });
  const QRect patchRect(85, -5, 100, 60);
  const QImage patch = PatchFilter::filter(working, area, patchRect, BlurEffect::pixelate, 16);
  ASSERT_EQ(patch.size(), patchRect.size());
  auto cell = [](int v) { return static_cast<int>(std::floor(v / 16.0)); };
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x + 1 < 100; ++x) {
      const int cx = patchRect.x() + x, cy = patchRect.y() + y;
      ASSERT_EQ(patch.pixel(x, y) == patch.pixel(x + 1, y), cell(cx) == cell(cx + 1)) << cx << "," << cy;
    }
  // The same grid from a different working area.
  const QRect other = area.adjusted(5, 9, -3, -2);
  const QImage again =
      PatchFilter::filter(working.copy(other.translated(-area.topLeft())), other, patchRect, BlurEffect::pixelate, 16);
  EXPECT_EQ(again, patch);
  // Blur crops the same place.
  const QImage blurred = PatchFilter::filter(working, area, patchRect, BlurEffect::blur, 16);
  EXPECT_EQ(blurred, PatchFilter::gaussianBlur(working, 16, patchRect.translated(-area.topLeft())));
}

TEST(PatchFilter, BandsSplitAcrossThreadsJoinSeamlessly) {
  // Large enough to be split over threads; the small crops run on one.
  const QImage source = noise(900, 600, 5);
  const QImage blurred = PatchFilter::gaussianBlur(source, 7, source.rect());
  const QImage pixelated = PatchFilter::pixelate(source, 9, QPointF(4, 2), source.rect());
  for (const QRect part :
       {QRect(0, 0, 40, 30), QRect(60, 11, 70, 23), QRect(401, 300, 50, 40), QRect(860, 570, 40, 30)}) {
    EXPECT_EQ(PatchFilter::gaussianBlur(source, 7, part), blurred.copy(part)) << part.x() << "," << part.y();
    EXPECT_EQ(PatchFilter::pixelate(source, 9, QPointF(4, 2), part), pixelated.copy(part)) << part.x();
  }
}
