#include "platform/PortalSnapshotProvider.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

using crel::DisplayStill;
using crel::PortalSnapshotProvider;
using crel::SnapshotError;

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
