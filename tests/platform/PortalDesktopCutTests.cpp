#include "platform/display/PortalSnapshotProvider.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

using crel::DisplayStill;
using crel::PortalSnapshotProvider;
using crel::SnapshotError;
using crel::WaylandOutput;

namespace {

// A 1x display and, above and to its right, a 2x one, as Qt lists them: each
// logical frame starts at the display's native top-left.
const std::vector<PortalSnapshotProvider::Screen> screens{
    {1, "A", QRectF(0, 0, 1000, 600), 1},
    {2, "B", QRectF(1000, -100, 500, 400), 2},
};
constexpr QRgb colourA = 0xffd02020, colourB = 0xff2040d0;

// The desktop as a compositor would picture it at `scale`: natives A
// (0,0,1000,600) and B (1000,-100,1000,800), black between them.
QImage desktop(double scale, QSize size = {}) {
  QImage image(size.isValid() ? size : QSize(int(std::lround(2000 * scale)), int(std::lround(800 * scale))),
               QImage::Format_ARGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  painter.scale(scale, scale);
  painter.translate(0, 100);
  painter.fillRect(QRectF(0, 0, 1000, 600), QColor::fromRgb(colourA));
  painter.fillRect(QRectF(1000, -100, 1000, 800), QColor::fromRgb(colourB));
  return image;
}

} // namespace

TEST(PortalDesktopCut, EveryDisplayComesOutAtItsNativeSizeAtAnyScaleOfTheDesktop) {
  for (double scale : {1.0, 1.25, 0.5, 2.0}) {
    SCOPED_TRACE(scale);
    const std::vector<DisplayStill> stills = PortalSnapshotProvider::cutDesktop(desktop(scale), screens);
    ASSERT_EQ(stills.size(), 2u);
    const QRgb colours[] = {colourA, colourB};
    const QSize sizes[] = {{1000, 600}, {1000, 800}};
    for (size_t i = 0; i < 2; ++i) {
      const QImage &image = stills[i].image;
      EXPECT_EQ(stills[i].displayID, screens[i].displayID);
      EXPECT_EQ(stills[i].frame, screens[i].frame);
      EXPECT_EQ(image.size(), sizes[i]);
      EXPECT_EQ(image.devicePixelRatio(), screens[i].scaleFactor);
      EXPECT_EQ(image.format(), QImage::Format_RGB32);
      // Resampling may blend the outermost pixels; nothing of the other
      // display or of the black gap reaches further in.
      for (QPoint p : {QPoint(2, 2), QPoint(image.width() - 3, image.height() - 3), image.rect().center()})
        EXPECT_EQ(image.pixel(p), colours[i]) << "at " << p.x() << "," << p.y();
    }
  }
}

TEST(PortalDesktopCut, APictureThatDoesNotFitTheDisplaysIsAChangedDisplay) {
  const struct {
    QSize size;
    bool fits;
  } cases[] = {
      {{2000, 800}, true},  {{2501, 1001}, true}, // the compositor rounded each side of a 1.25 picture
      {{2000, 801}, true},  {{2000, 900}, false}, // another layout
      {{1000, 800}, false}, {{2000, 400}, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.size.width() << "x" << c.size.height());
    try {
      PortalSnapshotProvider::cutDesktop(desktop(double(c.size.width()) / 2000, c.size), screens);
      EXPECT_TRUE(c.fits);
    } catch (const SnapshotError &e) {
      EXPECT_FALSE(c.fits);
      EXPECT_EQ(e.kind(), SnapshotError::Kind::displayChanged);
    }
  }
  EXPECT_THROW(PortalSnapshotProvider::cutDesktop(desktop(1), {}), SnapshotError);
}

// XWayland shows each output as a screen at its logical rectangle: the output
// pairs with it at the simplest scale in 120ths that fits its rounded logical
// size. A logical size no scale from 1/8 to 8 makes of the pixels is no
// compositor's: the screen is cut at Qt's scale, whatever the sizes.
TEST(PortalDesktopCut, AWaylandOutputPairsAtItsCompositorsScaleAndAnAbsurdOneNotAtAll) {
  const struct {
    QSize pixels, logical;
    double scale; // 0: not paired
  } cases[] = {
      {{2560, 1600}, {2048, 1280}, 1.25}, {{2560, 1440}, {1920, 1080}, 4.0 / 3},
      {{2560, 1440}, {1463, 823}, 1.75},  {{2800, 1750}, {1600, 1000}, 1.75},
      {{3840, 2160}, {1920, 1080}, 2},    {{3840, 2160}, {1707, 960}, 2.25},
      {{3840, 2160}, {1280, 720}, 3},     {{960, 540}, {1920, 1080}, 0.5},
      {{1440, 2560}, {960, 1706}, 1.5},   {{3, 3}, {1, 1}, 3},
      {{2560, 1440}, {320, 180}, 8},      {{2560, 1440}, {319, 180}, 0},
      {{2560, 1440}, {INT_MAX, 960}, 0},  {{20'000'000, 1440}, {1706, 960}, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.pixels.width() << "x" << c.pixels.height() << " at " << c.logical.width()
                                    << "x" << c.logical.height());
    const WaylandOutput output{"A", QRect(QPoint(), c.logical), c.pixels};
    EXPECT_EQ(crel::WaylandOutputs::pair({QRectF(output.logical)}, {output}), std::vector<qsizetype>{c.scale ? 0 : -1});
    if (c.scale)
      EXPECT_DOUBLE_EQ(output.scale(), c.scale);
    else // still one that covers the width within a logical point
      EXPECT_NEAR(output.scale() * c.logical.width(), c.pixels.width(), output.scale());
  }
}

namespace {

QImage noise(QSize size, quint32 seed) {
  QImage image(size, QImage::Format_RGB32);
  for (int y = 0; y < size.height(); ++y)
    for (int x = 0; x < size.width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      image.setPixel(x, y, 0xff000000u | (seed >> 8));
    }
  return image;
}

// As a screencopy frame of XWayland's pixels holds them: 0 in the byte
// XRGB8888 leaves unused.
QImage withoutFourthByte(QImage image) {
  for (int y = 0; y < image.height(); ++y) {
    auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x)
      line[x] &= 0x00ffffffu;
  }
  return image;
}

// Word for word: QImage::pixel() of an RGB32 image hides the fourth byte,
// which a conversion to a premultiplied format takes as the alpha.
bool samePixels(const QImage &a, const QImage &b) {
  if (a.size() != b.size() || a.format() != b.format())
    return false;
  for (int y = 0; y < a.height(); ++y)
    if (std::memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 4) != 0)
      return false;
  return true;
}

} // namespace

// Under XWayland every screen shows an output's logical rectangle at a scale
// of 1; the compositor's picture holds the whole layout at its greatest scale.
TEST(PortalDesktopCut, OnWaylandEachDisplayKeepsItsOutputsOwnPixelsAndScale) {
  const std::vector<WaylandOutput> fractionalBeside2{{"A", {0, 0, 1706, 960}, {2560, 1440}},
                                                     {"B", {1706, 0, 1280, 720}, {2560, 1440}}};
  // 2560 pixels at 1.5 are 1706 logical ones: grim scales both axes by the
  // width's ratio, 1440.56 rows cut to 1440.
  const std::vector<WaylandOutput> fractionalAlone{{"A", {0, 0, 1706, 960}, {2560, 1440}}};
  // KWin's outputs of 2561 pixels at 1.5, 1707.33 logical ones rounded to
  // 1707: its picture holds each from its position x 1.5 rounded down.
  const std::vector<WaylandOutput> kwinTwo{{"A", {0, 0, 1707, 960}, {2561, 1440}},
                                           {"B", {1707, 0, 1707, 960}, {2561, 1440}}};
  std::vector<WaylandOutput> kwinThree = kwinTwo;
  kwinThree.push_back({"C", {3414, 0, 1707, 960}, {2561, 1440}});
  const struct {
    const char *name;
    std::vector<WaylandOutput> outputs;
    double pictureScale;
    bool ownPixelsOffered;
    QStringList asked;                   // the outputs read on their own
    QSize picture = {};                  // where not the layout at pictureScale
    std::vector<QSize> screenSizes = {}; // Qt's, where not the outputs' logical sizes
    bool unpaired = false;               // cut on Qt's layout at Qt's scale
    bool pixelForPixel = false;          // drawn unscaled at whole pixels, not resampled to the picture's scale
  } cases[] = {
      {"one at 1", {{"A", {0, 0, 192, 108}, {192, 108}}}, 1, true, {}},
      {"one at 1.5", {{"A", {0, 0, 128, 80}, {192, 120}}}, 1.5, true, {}},
      {"two at 1", {{"A", {0, 0, 192, 108}, {192, 108}}, {"B", {192, 0, 128, 80}, {128, 80}}}, 1, false, {}},
      {"2 beside 1", {{"A", {0, 0, 144, 90}, {288, 180}}, {"B", {144, 0, 192, 108}, {192, 108}}}, 2, true, {"B"}},
      {"2 beside 1.5", {{"A", {0, 0, 144, 90}, {288, 180}}, {"B", {144, 0, 128, 80}, {192, 120}}}, 2, true, {"B"}},
      {"1.5 at 1706 alone", fractionalAlone, 2560.0 / 1706, true, {"A"}, {2560, 1440}},
      {"1.5 at 1706 alone, no screencopy", fractionalAlone, 2560.0 / 1706, false, {}, {2560, 1440}},
      // XWayland's screen steps by 8.
      {"1.5 at 1706 shown at 1704, beside 2", fractionalBeside2, 2, true, {"A"}, {}, {{1704, 960}, {1280, 720}}},
      {"1.5 at 1706 shown at 1706, beside 2", fractionalBeside2, 2, true, {"A"}},
      {"a screen 16 narrower than any output", fractionalBeside2, 2, true, {}, {}, {{1690, 960}, {1280, 720}}, true},
      {.name = "two at 1707 pictured by KWin", .outputs = kwinTwo, .pictureScale = 1.5, .pixelForPixel = true},
      {.name = "three at 1707 pictured by KWin", .outputs = kwinThree, .pictureScale = 1.5, .pixelForPixel = true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<PortalSnapshotProvider::Screen> screens;
    std::vector<QImage> own;
    QRect bounds;
    for (const auto &output : c.outputs) {
      const QSize shown = c.screenSizes.empty() ? output.logical.size() : c.screenSizes[screens.size()];
      screens.push_back({quint32(screens.size() + 1), "XWAYLAND" + QString::number(screens.size()),
                         QRectF(output.logical.topLeft(), shown), 1});
      own.push_back(noise(output.pixels, quint32(own.size() + 7)));
      bounds |= output.logical;
    }
    // The compositor's picture: an output at the picture's scale as it is,
    // another resampled to it.
    QImage picture(c.picture.isValid() ? c.picture : bounds.size() * c.pictureScale, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    std::vector<QRect> drawn;
    for (size_t i = 0; i < c.outputs.size(); ++i) {
      const QPointF at = QPointF(c.outputs[i].logical.topLeft()) * c.pictureScale;
      drawn.push_back({QPoint(int(std::floor(at.x())), int(std::floor(at.y()))), c.outputs[i].pixels});
      if (c.pixelForPixel)
        painter.drawImage(drawn.back().topLeft(), own[i]);
      else
        painter.drawImage(QRectF(at, QSizeF(c.outputs[i].logical.size()) * c.pictureScale), own[i]);
    }
    painter.end();

    QStringList asked;
    PortalSnapshotProvider::OwnPixels ownPixels;
    if (c.ownPixelsOffered)
      ownPixels = [&](const WaylandOutput &output) {
        asked << output.name;
        return withoutFourthByte(own[size_t(
            std::find_if(c.outputs.begin(), c.outputs.end(), [&](const auto &o) { return o.name == output.name; }) -
            c.outputs.begin())]);
      };
    const std::vector<DisplayStill> stills = PortalSnapshotProvider::cutDesktop(picture, screens, c.outputs, ownPixels);
    ASSERT_EQ(stills.size(), c.outputs.size());
    for (size_t i = 0; i < stills.size(); ++i) {
      if (c.unpaired) {
        EXPECT_EQ(stills[i].frame, screens[i].frame);
        EXPECT_EQ(stills[i].scaleFactor, 1);
        EXPECT_EQ(stills[i].image.size(), screens[i].frame.size().toSize());
        continue;
      }
      // Every output here is at a whole or a half scale, however its logical
      // size was rounded.
      const double scale = std::round(2.0 * c.outputs[i].pixels.width() / c.outputs[i].logical.width()) / 2;
      EXPECT_EQ(stills[i].frame, QRectF(c.outputs[i].logical));
      EXPECT_EQ(stills[i].scaleFactor, scale);
      EXPECT_EQ(stills[i].outputScale, scale);
      EXPECT_EQ(stills[i].image.devicePixelRatio(), scale);
      EXPECT_EQ(stills[i].image.size(), c.outputs[i].pixels);
      if (c.pixelForPixel) {
        // Its own columns of the picture, none of a neighbour's.
        EXPECT_TRUE(samePixels(stills[i].image, picture.copy(drawn[i]))) << "display " << i;
      } else if (c.asked.contains(c.outputs[i].name) || (scale == c.pictureScale && !c.picture.isValid())) {
        EXPECT_TRUE(samePixels(stills[i].image, own[i])) << "display " << i;
      } else if (c.picture.isValid() && !c.ownPixelsOffered) {
        EXPECT_TRUE(samePixels(stills[i].image, picture)) << "kept as the compositor pictured it";
      }
    }
    // Only an output the picture does not hold at its own scale, or whose
    // axes it scaled apart, costs a second read.
    EXPECT_EQ(asked, c.asked);
  }
}
