#include "document/MarkDrawing.h"
#include "document/MarkGeometry.h"
#include "support/TestSupport.h"

#include "MarkSamples.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <numbers>

using namespace crel;
using test::filledImage;
using test::makeMark;

namespace {

QImage painted(const Mark &mark, const QColor &background = Qt::white, QSize size = {200, 120}) {
  QImage image = filledImage(size, background);
  QPainter p(&image);
  draw(p, mark);
  return image;
}

// Pixels that differ from the background, as their bounding box.
QRect inkBox(const QImage &image, QRgb background) {
  return test::inkBounds(image, [=](QRgb p) { return p != background; });
}

int countPixels(const QImage &image, const QRect &area, QRgb colour) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      n += image.pixel(x, y) == colour;
  return n;
}

} // namespace

TEST(MarkDrawing, RedactionIsBlackWhateverTheInk) {
  Mark redact = makeMark(MarkTool::redact, {20, 20}, {120, 80});
  redact.ink = Ink::palette()[3];
  const QImage image = painted(redact);
  EXPECT_EQ(image.pixel(70, 50), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(10, 10), qRgb(255, 255, 255));

  redact.regions = QList<geom::Rect>{{0, 0, 10, 10}, {150, 100, 20, 10}};
  const QImage regions = painted(redact);
  EXPECT_EQ(regions.pixel(5, 5), qRgb(0, 0, 0));
  EXPECT_EQ(regions.pixel(160, 105), qRgb(0, 0, 0));
  EXPECT_EQ(regions.pixel(70, 50), qRgb(255, 255, 255)); // regions replace the box

  redact.regions = QList<geom::Rect>{};
  EXPECT_EQ(inkBox(painted(redact), qRgb(255, 255, 255)), QRect());
}

TEST(MarkDrawing, HighlightMultipliesAtDefaultOpacityAndScreensDarkRegions) {
  Mark h = makeMark(MarkTool::highlight, {0, 0}, {0, 0});
  h.ink = Ink::lemon(); // (1, 0.88, 0.05)
  h.regions = QList<geom::Rect>{{10, 10, 40, 40}, {100, 10, 40, 40}};
  h.highlightDarkRegions = QList<bool>{false, true};

  // On white, multiply leaves 1 - 0.35 · (1 - ink) of each channel.
  const QColor onWhite = painted(h, Qt::white).pixelColor(30, 30);
  EXPECT_NEAR(onWhite.red(), 255, 1);
  EXPECT_NEAR(onWhite.green(), 255 * (1 - 0.35 * 0.12), 2);
  EXPECT_NEAR(onWhite.blue(), 255 * (1 - 0.35 * 0.95), 2);

  // On black, multiply stays black; screen adds 0.35 · ink.
  const QImage onBlack = painted(h, Qt::black);
  EXPECT_EQ(onBlack.pixel(30, 30), qRgb(0, 0, 0));
  EXPECT_NEAR(onBlack.pixelColor(120, 30).red(), 255 * 0.35, 2);
  EXPECT_NEAR(onBlack.pixelColor(120, 30).green(), 255 * 0.35 * 0.88, 2);

  // Without regions the first flag picks the mode; opacity overrides 0.35.
  Mark marker = makeMark(MarkTool::highlight, {20, 60}, {180, 60}, 20);
  marker.ink = Ink{"White", 1, 1, 1};
  marker.opacity = 0.5;
  marker.highlightDarkRegions = QList<bool>{true};
  EXPECT_NEAR(painted(marker, Qt::black).pixelColor(100, 60).red(), 128, 2);
  marker.highlightDarkRegions.reset();
  EXPECT_EQ(painted(marker, Qt::black).pixel(100, 60), qRgb(0, 0, 0));
}

TEST(MarkDrawing, StepLabelColourFollowsLuma) {
  const QList<Ink> &palette = Ink::palette();
  EXPECT_EQ(stepLabelColor(palette[3]), QColor(Qt::black));             // Yellow, luma ≈ 0.70
  EXPECT_EQ(stepLabelColor(palette[0]), QColor(Qt::white));             // Coral, luma ≈ 0.39
  EXPECT_EQ(stepLabelColor(Ink{"", 0.6, 0.6, 0.6}), QColor(Qt::white)); // not above 0.6
  EXPECT_EQ(stepLabelColor(palette[4]), QColor(Qt::black));

  Mark step = makeMark(MarkTool::step, {60, 60}, {60, 60}, 80);
  step.ink = palette[3];
  const QImage yellow = painted(step);
  const QRect label(45, 45, 30, 30);
  EXPECT_GT(countPixels(yellow, label, qRgb(0, 0, 0)), 20);
  EXPECT_EQ(countPixels(yellow, label, qRgb(255, 255, 255)), 0);

  step.ink = palette[0];
  const QImage coral = painted(step);
  EXPECT_GT(countPixels(coral, label, qRgb(255, 255, 255)), 20);
  EXPECT_EQ(countPixels(coral, label, qRgb(0, 0, 0)), 0);

  // An absent number shows 1; the label is centred on the disc.
  Mark one = step;
  one.number = 1;
  EXPECT_EQ(painted(step), painted(one));
  one.number = 7;
  EXPECT_NE(painted(step), painted(one));
  const QRect ink = inkBox(painted(step), qRgb(255, 255, 255));
  EXPECT_EQ(ink, QRect(20, 20, 80, 80));
}

TEST(MarkDrawing, RotationIsAppliedAndPainterStateRestored) {
  Mark rect = makeMark(MarkTool::rectangle, {60, 50}, {140, 70}, 4);
  rect.rotation = std::numbers::pi / 2;
  QImage image = filledImage({200, 120}, Qt::white);
  QPainter p(&image);
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  const QTransform before = p.transform();
  draw(p, rect);
  EXPECT_EQ(p.transform(), before);
  EXPECT_EQ(p.compositionMode(), QPainter::CompositionMode_SourceOver);
  p.end();
  // Turned a quarter about (100, 60): 20 wide and 80 tall.
  const QRect ink = inkBox(image, qRgb(255, 255, 255));
  EXPECT_NEAR(ink.width(), 24, 1);
  EXPECT_NEAR(ink.height(), 84, 1);
  EXPECT_NEAR(ink.center().x(), 100, 1);
  EXPECT_NEAR(ink.center().y(), 60, 1);
}

TEST(MarkDrawing, BlurSelectAndEmptyPenPaintNothing) {
  const QRgb white = qRgb(255, 255, 255);
  Mark blur = makeMark(MarkTool::blur, {10, 10}, {100, 100});
  EXPECT_EQ(inkBox(painted(blur), white), QRect());
  EXPECT_EQ(inkBox(painted(makeMark(MarkTool::select, {10, 10}, {100, 100})), white), QRect());
  Mark pen = makeMark(MarkTool::pen, {10, 10}, {100, 100});
  EXPECT_EQ(inkBox(painted(pen), white), QRect());
  pen.points = {{50, 50}};
  pen.style = AnnotationStyle::doodle;
  EXPECT_EQ(inkBox(painted(pen), white), QRect());
}

TEST(MarkDrawing, TextPaintsInsideItsBoxInTheInk) {
  Mark text = makeMark(MarkTool::text, {10, 10}, {10, 10});
  text.text = "Wrapped words in a box";
  text.fontSize = 20;
  text.textBoxWidth = 120;
  text.ink = Ink{"Black", 0, 0, 0};
  const QImage image = painted(text);
  const QRect ink = inkBox(image, qRgb(255, 255, 255));
  const geom::Rect b = bounds(text);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_GE(ink.left(), 10);
  EXPECT_LE(ink.right(), 130);
  EXPECT_GE(ink.top(), 10);
  EXPECT_LE(ink.bottom(), int(b.maxY()));
  EXPECT_GT(ink.height(), 2 * 20); // more than one line
  EXPECT_GT(countPixels(image, ink, qRgb(0, 0, 0)), 10);
}
