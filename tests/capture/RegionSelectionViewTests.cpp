#include "CaptureTestFixtures.h"
#include "support/TestSupport.h"

#include "capture/RegionSelectionView.h"
#include "capture/SilentCapturePanel.h"

#include <QCoreApplication>
#include <QPaintEvent>
#include <QTest>

#include <gtest/gtest.h>

using namespace crel;

namespace {

QImage retinaStill() {
  QImage image = test::quadrantImage();
  image.setDevicePixelRatio(2); // as the provider delivers it
  return image;
}

// A 2× display of 400 × 300 points at (100, 50), its view in a silent panel.
class SelectionView : public ::testing::Test {
protected:
  SelectionView() : panel(frame), view(new RegionSelectionView({7, frame, retinaStill()})) {
    panel.setContentView(view);
    view->complete = [this](std::optional<geom::Rect> rect) { reports.push_back(rect); };
  }

  void mouse(QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::LeftButton) {
    test::sendMouse(view, type, at, button);
  }
  void drag(QPointF from, QPointF to) { test::drag(view, from, to); }
  void key(int k) { test::pressKey(view, k); }

  const geom::Rect frame{100, 50, 400, 300};
  SilentCapturePanel panel;
  RegionSelectionView *view;
  std::vector<std::optional<geom::Rect>> reports;
};

} // namespace

TEST_F(SelectionView, InputEndsInOneReportAtMost) {
  const struct {
    const char *name;
    std::function<void()> input;
    std::vector<std::optional<geom::Rect>> reports;
    bool inPanel = true; // a view whose panel is gone clears its drag instead
  } rows[] = {
      {"a reverse drag",
       [&] {
         drag({200.5, 180}, {20, 30});
       },
       {geom::Rect(120, 80, 180.5, 150)}},
      {"drags leaving the display are clipped before the size test",
       [&] {
         drag({398, 10}, {600, 50}); // 2 points wide once clipped
         drag({390, 290}, {500, 400});
       },
       {geom::Rect(490, 340, 10, 10)}},
      {"nothing counts after the first report",
       [&] {
         drag({10, 10}, {50, 50});
         key(Qt::Key_Escape);
         mouse(QEvent::MouseButtonPress, {5, 5}, Qt::RightButton);
         mouse(QEvent::MouseButtonRelease, {5, 5}, Qt::RightButton);
         drag({100, 100}, {200, 200});
       },
       {geom::Rect(110, 60, 40, 40)}},
      {"other keys do nothing, a right click cancels",
       [&] {
         key(Qt::Key_A);
         key(Qt::Key_Return);
         mouse(QEvent::MouseButtonPress, {30, 30}, Qt::RightButton);
         mouse(QEvent::MouseButtonRelease, {30, 30}, Qt::RightButton);
       },
       {std::nullopt}},
      {"escape cancels during a drag",
       [&] {
         mouse(QEvent::MouseButtonPress, {10, 10});
         key(Qt::Key_Escape);
       },
       {std::nullopt}},
      {"a drag outside a panel",
       [&] {
         drag({10, 10}, {60, 60});
       },
       {},
       false},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    std::unique_ptr<RegionSelectionView> loose;
    view = new RegionSelectionView({7, frame, retinaStill()});
    if (row.inPanel)
      panel.setContentView(view);
    else
      loose.reset(view);
    view->complete = [this](std::optional<geom::Rect> rect) { reports.push_back(rect); };
    reports.clear();
    row.input();
    EXPECT_EQ(reports, row.reports);
    if (!row.inPanel) {
      EXPECT_FALSE(view->selection());
    }
  }
}

TEST_F(SelectionView, TheSizeLabelShowsThePixelsTheCropWillHave) {
  const CaptureSnapshot snapshot{7, frame, test::quadrantImage()};
  EXPECT_EQ(RegionSelectionView::sizeLabelText(snapshot, QRectF(10, 20, 100, 50)), QString::fromUtf8("200 × 100 px"));
  // Each edge rounded once: 0.5 → 1 and 7.5 → 8 across, 0.5 → 1 and 11.5 → 12 down.
  const QRectF fractional(0.25, 0.25, 3.5, 5.5);
  EXPECT_EQ(RegionSelectionView::sizeLabelText(snapshot, fractional), QString::fromUtf8("7 × 11 px"));
  const QImage crop = snapshot.crop(geom::Rect::fromQRectF(fractional).offsetBy(frame.minX(), frame.minY()));
  EXPECT_EQ(crop.size(), QSize(7, 11));
  // Clipped to the display like the crop.
  EXPECT_EQ(RegionSelectionView::sizeLabelText(snapshot, QRectF(390, 290, 100, 100)), QString::fromUtf8("20 × 20 px"));
  // Wherever the selection is, the label stays on the display.
  const QSizeF bounds(400, 300);
  for (const QRectF selection : {QRectF(10, 20, 50, 40), QRectF(300, 20, 100, 40), QRectF(10, 200, 50, 100),
                                 QRectF(0, 0, 400, 300), QRectF(398, 298, 2, 2)}) {
    const QRectF label = RegionSelectionView::bubbleRect(RegionSelectionView::sizeLabelText(snapshot, selection),
                                                         RegionSelectionView::sizeLabelOrigin(selection, bounds));
    EXPECT_TRUE(QRectF(QPointF(), bounds).contains(label)) << label.x() << "," << label.y();
    EXPECT_GT(label.width(), 24);
  }
}

TEST_F(SelectionView, PaintsTheFrozenStillDimmedAndTheSelectionUndimmed) {
  // Without a drag: the hint's dark bubble just above the centre line.
  const QImage idle = view->grab().toImage();
  const QRectF hint = RegionSelectionView::bubbleRect(RegionSelectionView::hintText(),
                                                      RegionSelectionView::hintOrigin(QSizeF(400, 300)));
  EXPECT_LT(qGray(idle.pixel(hint.toRect().topLeft() + QPoint(4, 12))), 40);
  EXPECT_NEAR(qGreen(idle.pixel(10, 10)), 184, 2);

  mouse(QEvent::MouseButtonPress, {20, 20});
  mouse(QEvent::MouseMove, {150, 120});
  const QImage shown = view->grab().toImage();
  ASSERT_EQ(shown.size(), QSize(400, 300));
  const QRgb inside = shown.pixel(80, 65);
  EXPECT_EQ(inside, qRgb(0, 255, 0)) << "the selection shows the still as it was";
  // Where a dimmed 2x still's pixels land on a real display is the X11 suite's.
  const QRgb dimmed = shown.pixel(300, 60);
  EXPECT_NEAR(qRed(dimmed), 184, 2) << "black at 0.28 over red";
  EXPECT_EQ(qGreen(dimmed), 0);
  // The white stroke runs along the selection's edge.
  const QRgb edge = shown.pixel(80, 20);
  EXPECT_GT(qRed(edge), 150);
  EXPECT_GT(qBlue(edge), 150);

  // Black one-pixel lines on white, 11 pixels apart, columns in the still's
  // top half and rows in its bottom half. Where a panel's device pixel
  // covers more than one still pixel, each keeps a quarter of its contrast,
  // dimmed and inside the selection; where they map 1:1 the still is copied.
  const std::pair<double, double> scales[] = {{1.25, 1}, {4.0 / 3, 1}, {1.5, 1}, {1.75, 1}, {2, 1}, {1, 1}, {2, 2}};
  for (const auto &[stillScale, deviceRatio] : scales) {
    SCOPED_TRACE(testing::Message() << stillScale << "x still, " << deviceRatio << "x panel");
    const QSize size = (QSizeF(400, 300) * stillScale).toSize();
    QImage still = test::filledImage(size, Qt::white, QImage::Format_RGB32);
    QPainter lines(&still);
    for (int x = 3; x < size.width(); x += 11)
      lines.fillRect(x, 0, 1, size.height() / 2, Qt::black);
    for (int y = size.height() / 2 + 5; y < size.height(); y += 11)
      lines.fillRect(0, y, size.width(), 1, Qt::black);
    lines.end();
    RegionSelectionView lined({7, frame, still});
    test::sendMouse(&lined, QEvent::MouseButtonPress, {20, 20});
    test::sendMouse(&lined, QEvent::MouseMove, {150, 240});
    QImage panelPixels((QSizeF(400, 300) * deviceRatio).toSize(), QImage::Format_RGB32);
    panelPixels.setDevicePixelRatio(deviceRatio);
    lined.render(&panelPixels);
    // Lines crossed between two points of the panel, clear of the stroke and
    // the size label: inside the selection, then dimmed.
    const struct {
      bool columns;
      double from, to, across;
      int white;
    } spans[] = {
        {true, 30, 140, 80, 255}, {true, 170, 390, 80, 184}, {false, 160, 230, 85, 255}, {false, 160, 290, 280, 184}};
    for (const auto &span : spans) {
      auto grey = [&](double at) {
        const QPoint p(int(at * deviceRatio / stillScale), int(span.across * deviceRatio));
        return qGray(panelPixels.pixel(span.columns ? p : p.transposed()));
      };
      for (int line = span.columns ? 3 : size.height() / 2 + 5; line < span.to * stillScale; line += 11) {
        if (line < span.from * stillScale)
          continue;
        const int white = grey(line + 5.5);
        EXPECT_NEAR(white, span.white, 2) << line;
        if (stillScale == deviceRatio) {
          EXPECT_EQ(grey(line), 0) << line;
          EXPECT_EQ(std::min(grey(line - 1), grey(line + 1)), white) << line;
          continue;
        }
        int darkest = 255;
        for (double at = line - 1; at <= line + 1; at += 0.5)
          darkest = std::min(darkest, grey(at));
        EXPECT_GE(4 * (white - darkest), white) << (span.columns ? "column " : "row ") << line;
      }
    }
  }
  // Paired with a 1.5 output of 2560 pixels, 1706 points wide, column 2400
  // shows at point 1600, where the compositor has it.
  QImage columns = test::filledImage({2560, 1440}, QColor(0, 255, 0), QImage::Format_RGB32);
  QPainter(&columns).fillRect(2400, 0, 160, 1440, QColor(255, 0, 0));
  RegionSelectionView paired({8, {0, 0, 1706, 960}, columns, 1.5});
  const QImage backdrop = paired.grab().toImage();
  EXPECT_EQ(qRed(backdrop.pixel(1599, 10)), 0);
  EXPECT_NEAR(qRed(backdrop.pixel(1600, 10)), 184, 2);
}

namespace {

struct PaintRecorder : QObject {
  QRegion painted;
  bool eventFilter(QObject *, QEvent *e) override {
    if (e->type() == QEvent::Paint)
      painted += static_cast<QPaintEvent *>(e)->region();
    return false;
  }
};

qint64 area(const QRegion &region) {
  qint64 sum = 0;
  for (const QRect &r : region)
    sum += qint64(r.width()) * r.height();
  return sum;
}

// A 4K display of one colour, its view shown and its paints recorded.
class SelectionViewRepaint : public ::testing::Test {
protected:
  void SetUp() override {
    QImage still = test::filledImage({3840, 2160}, Qt::darkCyan, QImage::Format_RGB32);
    view = new RegionSelectionView({1, frame, still});
    panel.setContentView(view);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    QCoreApplication::processEvents();
    view->installEventFilter(&recorder);
  }

  const geom::Rect frame{0, 0, 3840, 2160};
  SilentCapturePanel panel{frame};
  RegionSelectionView *view = nullptr;
  PaintRecorder recorder;
};

} // namespace

TEST_F(SelectionViewRepaint, ADragRepaintsWhatChangedNotTheWholeDisplay) {
  auto mouse = [&](QEvent::Type type, QPointF at) {
    QMouseEvent event(type, at, at, Qt::LeftButton, type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
  };
  mouse(QEvent::MouseButtonPress, {1000, 600});
  mouse(QEvent::MouseMove, {1800, 1200});
  QCoreApplication::processEvents();
  recorder.painted = QRegion();

  // Growing a large selection by a few points touches its new strips, its
  // edges and the label: a small part of the display.
  mouse(QEvent::MouseMove, {1805, 1204});
  QCoreApplication::processEvents();
  ASSERT_FALSE(recorder.painted.isEmpty());
  EXPECT_LT(area(recorder.painted), 3840 * 2160 / 50);
  EXPECT_TRUE(recorder.painted.contains(QRect(1801, 601, 4, 599))) << "the strip the selection gained";
  EXPECT_FALSE(recorder.painted.contains(QPoint(1400, 900))) << "the unchanged inside";
  EXPECT_FALSE(recorder.painted.contains(QPoint(100, 100))) << "the unchanged dimmed outside";

  // Shrinking gives the strip back to the dimmed backdrop.
  recorder.painted = QRegion();
  mouse(QEvent::MouseMove, {1700, 1204});
  QCoreApplication::processEvents();
  EXPECT_TRUE(recorder.painted.contains(QRect(1703, 601, 100, 500)));
  EXPECT_LT(area(recorder.painted), 3840 * 2160 / 50);
}

TEST_F(SelectionView, APartialRepaintShowsWhatAWholePaintShows) {
  // The still is 2×: every part must come from its own pixels, dimmed once.
  const struct {
    const char *name;
    QRegion region;
  } cases[] = {
      {"a corner", QRegion(0, 0, 37, 23)},
      {"across the still's quadrants", QRegion(180, 130, 45, 41)},
      {"several pieces at once", QRegion(5, 200, 30, 30) + QRegion(300, 10, 61, 17) + QRegion(120, 90, 70, 70)},
  };
  for (bool selecting : {false, true}) {
    if (selecting) {
      mouse(QEvent::MouseButtonPress, {20, 20});
      mouse(QEvent::MouseMove, {150, 120});
    }
    const QImage whole = view->grab().toImage();
    for (const auto &c : cases) {
      SCOPED_TRACE(std::string(c.name) + (selecting ? ", selecting" : ""));
      QImage part(whole.size(), whole.format());
      part.fill(Qt::magenta);
      view->render(&part, c.region.boundingRect().topLeft(), c.region);
      for (const QRect &r : c.region)
        EXPECT_EQ(part.copy(r), whole.copy(r)) << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
    }
  }
}

TEST_F(SelectionViewRepaint, FocusComingAndGoingRepaintsNothing) {
  for (QEvent::Type type : {QEvent::FocusIn, QEvent::FocusOut, QEvent::FocusIn}) {
    QFocusEvent event(type, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(view, &event);
    QCoreApplication::processEvents();
  }
  EXPECT_TRUE(recorder.painted.isEmpty()) << area(recorder.painted) << " pixels repainted";
}
