#include "ChromeSampling.h"
#include "support/TestSupport.h"

#include "chrome/BrandSwitch.h"
#include "chrome/ChromeColors.h"
#include "chrome/ChromeScrollBar.h"
#include "chrome/ChromeSegmented.h"
#include "chrome/InkSwatch.h"
#include "chrome/LightPalette.h"
#include "chrome/Motion.h"
#include "chrome/Symbols.h"
#include "chrome/WeightGlyph.h"

#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace crel;
using crel::test::composite;
using crel::test::near;

namespace {

struct Segments {
  ChromeSegmented control;
  std::vector<std::pair<int, QColor>> painted; // index and colour of each label drawn
  explicit Segments(int n, std::optional<double> width = 28) {
    QList<ChromeSegmented::Option> options;
    for (int i = 0; i < n; ++i)
      options.append({QStringLiteral("Option %1").arg(i), 30.0 + i});
    control.setOptions(
        options, [this](QPainter &, const QRectF &, int i, bool, const QColor &c) { painted.emplace_back(i, c); });
    control.setSegmentWidth(width);
    control.resize(control.sizeHint());
  }
  std::vector<std::pair<int, QColor>> paint() {
    painted.clear();
    control.grab();
    return painted;
  }
};

TEST(ChromeSegmented, GeometryWithFixedAndNaturalWidths) {
  Segments fixed(4);
  EXPECT_EQ(fixed.control.sizeHint(), QSize(122, 28));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(fixed.control.segment(i)->geometry(), QRect(2 + i * 30, 2, 28, 24));
    EXPECT_EQ(fixed.control.segment(i)->accessibleName(), QStringLiteral("Option %1").arg(i));
  }
  Segments natural(2, std::nullopt); // label widths 30 and 31, padded 10 each side
  EXPECT_EQ(natural.control.sizeHint(), QSize(4 + 50 + 2 + 51, 28));
  EXPECT_TRUE(natural.control.objectName().isEmpty()) << "no identifier given";
  natural.control.setIdentifier(QStringLiteral("annotation-style"));
  EXPECT_EQ(natural.control.objectName(), "annotation-style");
}

TEST(ChromeSegmented, SelectionThumbAndLabelColours) {
  Segments s(3);
  for (std::optional<int> none : {std::optional<int>(), std::optional<int>(7), std::optional<int>(-1)}) {
    s.control.setSelection(none);
    EXPECT_EQ(s.control.selection(), std::nullopt);
    EXPECT_EQ(s.control.thumbRect(), std::nullopt);
    for (const auto &[index, color] : s.paint())
      EXPECT_EQ(color, ChromeColors::secondaryLabel()) << index;
  }
  s.control.setSelection(1);
  EXPECT_EQ(s.control.thumbRect(), s.control.segmentRect(1));
  for (const auto &[index, color] : s.paint())
    EXPECT_EQ(color, index == 1 ? ChromeColors::label() : ChromeColors::secondaryLabel()) << index;
  EXPECT_TRUE(s.control.segment(1)->isChecked());
  EXPECT_FALSE(s.control.segment(0)->isChecked());
  // The thumb is white where the selected segment is.
  const QImage image = test::grabImage(s.control);
  EXPECT_EQ(image.pixelColor(s.control.segmentRect(1).center().toPoint()), QColor(Qt::white));
}

// Text the kit draws stands out from the window it is drawn on, whether that
// window is light or (in the dark settings preview) dark.
TEST(ChromeKit, LabelsKeepTheirContrastOnLightAndDarkWindows) {
  for (const QColor window : {QColor(0xEC, 0xEC, 0xEC), QColor(0x1E, 0x1E, 0x1E)}) {
    QWidget board;
    QPalette palette = board.palette();
    palette.setColor(QPalette::Window, window);
    board.setPalette(palette);
    board.setAutoFillBackground(true);
    board.resize(300, 80);
    const QFont font = board.font();
    auto *segmented = new ChromeSegmented(&board);
    const QStringList texts{QStringLiteral("Formal"), QStringLiteral("Doodle")};
    segmented->setOptions(ChromeSegmented::textOptions(texts, {}, font), ChromeSegmented::textPainter(texts, font));
    segmented->setSelection(0);
    segmented->resize(segmented->sizeHint());
    auto *toggle = new BrandSwitch(QStringLiteral("Launch at login"), &board);
    toggle->setGeometry(0, 40, 260, 24);
    const QImage image = board.grab().toImage();
    // The strongest difference from the window colour inside an area of text.
    const auto contrast = [&](QRect area) {
      double most = 0;
      for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
          most = std::max(most, double(std::abs(image.pixelColor(x, y).lightnessF() - window.lightnessF())));
      return most;
    };
    const QRect unselected = segmented->segmentRect(1).toRect().adjusted(2, 2, -2, -2);
    EXPECT_GT(contrast(unselected), 0.35) << "unselected segment on " << window.name().toStdString();
    EXPECT_GT(contrast(QRect(0, 44, 100, 16)), 0.5) << "switch label on " << window.name().toStdString();
  }
}

// A scrolled window shows a slim thumb on a clear track: no arrow buttons at
// the track's ends, nothing drawn beside the thumb, and the thumb visible.
TEST(ChromeScrollBar, ThumbOnAClearTrackWithoutArrows) {
  QScrollArea area;
  area.setFrameShape(QFrame::NoFrame);
  LightPalette::apply(&area);
  ChromeScrollBar::apply(area);
  area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto *content = new QWidget;
  content->setFixedSize(200, 1000);
  area.setWidget(content);
  area.resize(240, 300);
  area.show();
  QScrollBar *bar = area.verticalScrollBar();
  ASSERT_EQ(bar->width(), ChromeScrollBar::width);
  const QImage image = area.grab(QRect(bar->mapTo(&area, QPoint()), bar->size())).toImage();
  const QColor track = area.palette().color(QPalette::Window);
  const int middle = bar->width() / 2;
  QList<int> marked; // rows where the middle column differs from the track
  for (int y = 0; y < image.height(); ++y)
    if (!near(image.pixelColor(middle, y), track, 3))
      marked.append(y);
  ASSERT_FALSE(marked.isEmpty()) << "the thumb is drawn";
  EXPECT_GE(marked.first(), 2) << "nothing at the track's top end";
  EXPECT_LT(marked.last(), image.height() / 2) << "the thumb alone, at the top, and no arrow at the bottom end";
  for (int y = 0; y < image.height(); ++y)
    EXPECT_TRUE(near(image.pixelColor(0, y), track, 3)) << "clear edge at row " << y;
}

TEST(ChromeSegmented, PicksAreReportedButNotApplied) {
  Segments s(3);
  s.control.setSelection(0);
  QSignalSpy picked(&s.control, &ChromeSegmented::selected);
  QTest::mouseClick(s.control.segment(0), Qt::LeftButton, {}, QPoint(14, 12));
  QTest::mouseClick(s.control.segment(2), Qt::LeftButton, {}, QPoint(14, 12));
  ASSERT_EQ(picked.count(), 2);
  EXPECT_EQ(picked[0][0].toInt(), 0) << "the selected segment still reports";
  EXPECT_EQ(picked[1][0].toInt(), 2);
  EXPECT_EQ(s.control.selection(), 0) << "the caller decides";
  EXPECT_FALSE(s.control.segment(2)->isChecked());
  QTest::mouseClick(s.control.segment(2), Qt::LeftButton, {}, QPoint(1, 1)); // outside the rounded corner
  EXPECT_EQ(picked.count(), 2);
}

TEST(ChromeSegmented, ThumbSlidesFromTheOldSegment) {
  Segments s(4);
  s.control.setSelection(0);
  Motion::setEnabled(true);
  s.control.setSelection(3);
  EXPECT_EQ(s.control.thumbRect(), s.control.segmentRect(0)) << "one thumb starts where the old one was";
  Motion::setEnabled(false);
  s.control.setSelection(2);
  EXPECT_EQ(s.control.thumbRect(), s.control.segmentRect(2));
}

QColor swatchPixel(QWidget &swatch, QPoint at) {
  QWidget board;
  board.resize(40, 40);
  test::paintWhite(board);
  swatch.setParent(&board);
  swatch.move(0, 0);
  const QColor c = test::grabImage(board).pixelColor(at);
  swatch.setParent(nullptr);
  return c;
}

TEST(InkSwatch, RingsDiscsAndLightness) {
  EXPECT_FALSE(InkSwatch::isVeryLight(0.82, 0.82, 0.82)) << "exactly 0.82 is not light";
  EXPECT_TRUE(InkSwatch::isVeryLight(0.83, 0.83, 0.83));
  EXPECT_TRUE(InkSwatch::isVeryLight(1, 0.96, 0.6)); // pale yellow
  EXPECT_FALSE(InkSwatch::isVeryLight(1, 0.35, 0.3));

  struct Row {
    QColor ink;
    bool selected;
    QColor ring;    // at the top of the 25-point circle
    QColor between; // between ring and disc (row 3)
  };
  const QColor red(0xE0, 0x20, 0x20), white(Qt::white);
  const Row rows[] = {
      {red, true, red, Qt::white},
      {white, true, composite(ChromeColors::black(0.28), Qt::white), Qt::white},
      {red, false, Qt::white, Qt::white},
  };
  for (const Row &r : rows) {
    InkSwatch swatch(r.ink, "Sample");
    swatch.setSelected(r.selected);
    EXPECT_TRUE(near(swatchPixel(swatch, {12, 0}), r.ring, 6)) << r.selected << r.ink.name().toStdString();
    EXPECT_TRUE(near(swatchPixel(swatch, {12, 3}), r.between, 6));
    EXPECT_TRUE(near(swatchPixel(swatch, {12, 12}), r.ink, 2));
    // The disc: 17 across unselected (from row 4), 15 selected (from row 5).
    EXPECT_EQ(near(swatchPixel(swatch, {12, 4}), Qt::white, 6), r.selected);
  }
  InkSwatch swatch(red, "Coral");
  EXPECT_EQ(swatch.accessibleName(), "Coral ink");
  EXPECT_EQ(swatch.toolTip(), "Coral");
  QSignalSpy clicked(&swatch, &QAbstractButton::clicked);
  QTest::mouseClick(&swatch, Qt::LeftButton, {}, QPoint(1, 1));
  EXPECT_EQ(clicked.count(), 0) << "the square's corner is outside the circle";
  QTest::mouseClick(&swatch, Qt::LeftButton, {}, QPoint(12, 1));
  EXPECT_EQ(clicked.count(), 1);
}

TEST(CustomInkSwatch, OwnRingForAnyColourAndARainbowWithout) {
  CustomInkSwatch custom;
  EXPECT_EQ(custom.objectName(), "custom-ink");
  EXPECT_EQ(custom.accessibleName(), "Custom ink color");
  const QColor pale(0xF4, 0xF4, 0xEC);
  custom.setCurrent(pale);
  EXPECT_TRUE(near(swatchPixel(custom, {12, 0}), pale, 6)) << "no dark ring for the custom colour";
  custom.setCurrent(std::nullopt);
  const QColor ring = swatchPixel(custom, {12, 5});
  EXPECT_GT(ring.saturationF(), 0.5) << "rainbow";
  EXPECT_TRUE(near(swatchPixel(custom, {10, 10}), Qt::white, 3)) << "white centre";
}

// What `draw` paints on a clear device of the given pixel ratio.
QImage painted(const std::function<void(QPainter &)> &draw, QSize size = {40, 40}, double dpr = 1) {
  QImage image((QSizeF(size) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(dpr);
  image.fill(Qt::transparent);
  QPainter p(&image);
  draw(p);
  p.end();
  return image;
}

// The bounding box of what was painted, in device pixels.
QRect inked(const std::function<void(QPainter &)> &draw, QSize size = {40, 40}, double dpr = 1) {
  return crel::test::inkBounds(painted(draw, size, dpr), [](QRgb p) { return qAlpha(p) > 60; });
}

// Each kind's presets grow from the first to the last, centred in the box.
TEST(WeightGlyph, PresetsGrowCentred) {
  const auto box = [](WeightGlyph::Kind kind, int index) {
    return inked([&](QPainter &p) { WeightGlyph::paint(p, QRectF(0, 0, 40, 40), kind, index, Qt::black); });
  };
  for (const auto kind :
       {WeightGlyph::Kind::stroke, WeightGlyph::Kind::marker, WeightGlyph::Kind::dot, WeightGlyph::Kind::letter}) {
    const QRect first = box(kind, 0), last = box(kind, 3);
    EXPECT_LT(first.height(), last.height()) << int(kind);
    EXPECT_LE(first.width(), last.width()) << int(kind);
    EXPECT_NEAR(last.center().x(), 19.5, 1) << int(kind);
  }
  EXPECT_NEAR(box(WeightGlyph::Kind::letter, 3).height(), 18 * 0.73, 2.5) << "an 18-point capital";
}

TEST(Symbols, EveryNameDrawsCrisplyInsideItsBox) {
  ASSERT_GE(Symbols::names().size(), 30);
  for (double dpr : {1.0, 2.0}) {
    for (const QString &name : Symbols::names()) {
      const QRect box = inked(
          [&](QPainter &p) {
            EXPECT_TRUE(Symbols::paint(p, name, QRectF(4, 4, 32, 32), 14.5, QFont::Medium, Qt::black));
          },
          {40, 40}, dpr);
      ASSERT_FALSE(box.isEmpty()) << name.toStdString();
      EXPECT_TRUE(QRect(QPoint(4, 4) * dpr, QSize(32, 32) * dpr).contains(box)) << name.toStdString();
      EXPECT_GE(box.width(), 8 * dpr) << name.toStdString();
    }
  }
  EXPECT_TRUE(inked([](QPainter &p) {
                EXPECT_FALSE(Symbols::paint(p, "no.such.symbol", QRectF(0, 0, 40, 40), 14, QFont::Medium, Qt::black));
              }).isEmpty());
  // A horizontal stroke lands on whole pixels: some row is nearly opaque.
  for (double dpr : {1.0, 2.0}) {
    const QImage image =
        painted([](QPainter &p) { Symbols::paint(p, "minus", QRectF(0, 0, 32, 32), 13.5, QFont::Medium, Qt::black); },
                {32, 32}, dpr);
    int strongest = 0;
    for (int y = 0; y < image.height(); ++y)
      strongest = std::max(strongest, qAlpha(image.pixel(image.width() / 2, y)));
    EXPECT_GE(strongest, 200) << dpr; // a stroke between two rows peaks near 128
  }
}

} // namespace
