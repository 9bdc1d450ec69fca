#include "CanvasInputFixture.h"

#include "canvas/EditorStageView.h"

#include "document/MarkGeometry.h"
#include "document/RecognizedWord.h"
#include "platform/desktop/AppTheme.h"

#include <QAccessible>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPointingDevice>
#include <QSignalSpy>
#include <QWheelEvent>

using namespace crel;
using namespace crel::test;

namespace {

const QColor imageColor(40, 160, 90);

Mark rectangleMark(QPointF start, QPointF end) { return sampleMark(MarkTool::rectangle, start, end); }

// Paints the canvas as a device of the given pixel ratio would, read back in
// device pixels; `asWidget` goes through QWidget::render as a parent would.
QImage render(CanvasView &view, double ratio = 1, bool asWidget = false) {
  QImage out(view.size() * ratio, QImage::Format_ARGB32_Premultiplied);
  out.setDevicePixelRatio(ratio);
  out.fill(Qt::white);
  QPainter painter(&out);
  if (asWidget)
    view.render(&painter);
  else
    view.paintCanvas(painter);
  painter.end();
  out.setDevicePixelRatio(1);
  return out;
}

class CanvasViewTest : public CanvasOver<> {
protected:
  // A 400x300 screenshot in a 1000x600 view: s = 1.85, image at (130, 22.5).
  CanvasViewTest() : CanvasOver(filledImage({400, 300}, imageColor), {1000, 600}) {}

  QImage render() { return ::render(*canvas); }

  void wheel(QPoint angle, Qt::KeyboardModifiers modifiers = {}, QPoint pixels = {}) {
    QWheelEvent event(QPointF(500, 300), canvas->mapToGlobal(QPointF(500, 300)), pixels, angle, Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas.get(), &event);
  }
};

double meanDifference(const QImage &a, const QImage &b, const QRect &within) {
  double sum = 0;
  for (int y = within.top(); y <= within.bottom(); ++y)
    for (int x = within.left(); x <= within.right(); ++x)
      sum += pixelDifference(a.pixel(x, y), b.pixel(x, y));
  return sum / (double(within.width()) * within.height());
}

// ---- placement

TEST_F(CanvasViewTest, ImageIsFittedBetweenTheMarginsAndPointsMapBothWays) {
  EXPECT_EQ(canvas->fitArea(), geom::Rect(30, 22.5, 940, 555));
  EXPECT_EQ(canvas->imageRect(), geom::Rect(130, 22.5, 740, 555));
  EXPECT_DOUBLE_EQ(canvas->scale(), 1.85);
  const QPointF p = canvas->point(QPointF(130 + 1.85 * 10, 22.5 + 1.85 * 20));
  EXPECT_NEAR(p.x(), 10, 1e-12);
  EXPECT_NEAR(p.y(), 20, 1e-12);
  // Unclamped outside the image.
  EXPECT_LT(canvas->point(QPointF(0, 0)).x(), 0);
  const QPointF back = canvas->viewPoint(canvas->point(QPointF(321.25, 47.5)));
  EXPECT_NEAR(back.x(), 321.25, 1e-12);
  EXPECT_NEAR(back.y(), 47.5, 1e-12);
}

TEST_F(CanvasViewTest, ZoomIsClampedAndZoomOneResetsThePan) {
  canvas->setZoom(20, QPointF(300, 200));
  EXPECT_EQ(document.zoom(), 12);
  canvas->setZoom(0.5, QPointF(300, 200));
  EXPECT_EQ(document.zoom(), 1);
  EXPECT_EQ(document.pan(), QSizeF(0, 0));
}

TEST_F(CanvasViewTest, ZoomKeepsTheImagePointUnderTheAnchor) {
  for (const QPointF anchor : {QPointF(300, 200), QPointF(820, 90), QPointF(500, 300)}) {
    const QPointF before = canvas->point(anchor);
    canvas->setZoom(document.zoom() * 1.7, anchor);
    const QPointF after = canvas->point(anchor);
    EXPECT_NEAR(after.x(), before.x(), 1e-9);
    EXPECT_NEAR(after.y(), before.y(), 1e-9);
  }
  // Without a location the view's centre is the anchor.
  const QPointF centre = canvas->point(QPointF(500, 300));
  canvas->setZoom(5);
  EXPECT_NEAR(canvas->point(QPointF(500, 300)).x(), centre.x(), 1e-9);
}

TEST_F(CanvasViewTest, ZoomAndPinchDoNothingDuringAGesture) {
  canvas->beginGesture({10, 10});
  canvas->setZoom(4, QPointF(300, 200));
  QNativeGestureEvent pinch(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, QPointF(300, 200),
                            QPointF(300, 200), canvas->mapToGlobal(QPointF(300, 200)), 0.5, QPointF(), 0);
  QApplication::sendEvent(canvas.get(), &pinch);
  EXPECT_EQ(document.zoom(), 1);
  canvas->endGesture();
  QApplication::sendEvent(canvas.get(), &pinch);
  EXPECT_DOUBLE_EQ(document.zoom(), 1.5);
}

TEST_F(CanvasViewTest, WheelPansOnlyWhenZoomedInAndIsAlwaysSwallowed) {
  wheel({0, 120});
  EXPECT_EQ(document.zoom(), 1);
  EXPECT_EQ(document.pan(), QSizeF(0, 0));

  canvas->setZoom(2, QPointF(500, 300));
  const QSizeF pan = document.pan();
  wheel({0, -240});
  EXPECT_EQ(document.pan(), QSizeF(pan.width(), pan.height() - 80));
  wheel({}, {}, {7, 3}); // touchpads report pixels
  EXPECT_EQ(document.pan(), QSizeF(pan.width() + 7, pan.height() - 77));
  wheel({0, 120}, Qt::ShiftModifier); // Shift scrolls sideways
  EXPECT_EQ(document.pan(), QSizeF(pan.width() + 47, pan.height() - 77));

  canvas->beginGesture({0, 0});
  wheel({0, 120});
  EXPECT_EQ(document.pan(), QSizeF(pan.width() + 47, pan.height() - 77));
  canvas->endGesture();
}

TEST_F(CanvasViewTest, CtrlWheelZoomsAboutThePointerAndNotchesCancel) {
  const QPointF before = canvas->point(QPointF(500, 300));
  wheel({0, 240}, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(document.zoom(), 1.44);
  EXPECT_NEAR(canvas->point(QPointF(500, 300)).x(), before.x(), 1e-9);
  // Any number of notches in, then as many out, in steps of any size.
  for (const int notches : {1, 3, 7}) {
    const double zoom = document.zoom();
    for (int i = 0; i < notches; ++i)
      wheel({0, 120}, Qt::ControlModifier);
    EXPECT_GT(document.zoom(), zoom * 1.19);
    wheel({0, -120 * notches}, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(document.zoom(), zoom) << notches;
  }
}

// ---- subscription and layout

TEST_F(CanvasViewTest, EveryDocumentChangeQueuesOneRefresh) {
  QSignalSpy refreshed(canvas.get(), &CanvasView::refreshed);
  document.setZoom(2);
  document.setPan({3, 4});
  document.setTool(MarkTool::select);
  EXPECT_EQ(refreshed.count(), 0); // deferred, never inside the notification
  QCoreApplication::processEvents();
  EXPECT_EQ(refreshed.count(), 3);
}

TEST_F(CanvasViewTest, ChangesAfterTheCanvasIsGoneAreHarmless) {
  document.setZoom(2); // queued towards the canvas
  canvas.reset();
  document.setZoom(3);
  document.finishTextEditing(); // the hook outlives the canvas
  QCoreApplication::processEvents();
  EXPECT_EQ(document.zoom(), 3);
}

TEST_F(CanvasViewTest, DrawnListHidesTheEditedTextPutsTheMovingCopyInPlaceAndTheDraftLast) {
  const Mark a = rectangleMark({10, 10}, {50, 50}), b = rectangleMark({60, 60}, {90, 90});
  const Mark c = rectangleMark({100, 100}, {150, 150});
  document.commit({a, b, c});
  canvas->setEditingTextID(a.id);
  canvas->setMoving(moved(b, 5, 5));
  const Mark draft = rectangleMark({0, 0}, {1, 1});
  canvas->setDraft(draft);
  EXPECT_EQ(canvas->drawnMarks(), (QList<Mark>{moved(b, 5, 5), c, draft}));
}

// ---- drawing

TEST_F(CanvasViewTest, PaintsPaperImageAndAHairlineBorder) {
  const QImage out = render();
  EXPECT_TRUE(near(out.pixel(500, 300), imageColor));
  // The hairline lies just outside the image's left edge at x = 130.
  const QRgb border = out.pixel(129, 300), beyond = out.pixel(110, 300);
  EXPECT_LT(qGray(border), qGray(beyond) - 10);
  EXPECT_GT(qGray(beyond), 240); // only a faint shadow out there
  // The wide shadow falls downward: darker below the paper than above it.
  EXPECT_LT(qGray(out.pixel(500, 590)), 255);
}

TEST_F(CanvasViewTest, HighDensityDisplaysShowTheWholeVisibleImage) {
  document.setZoom(1.5);
  for (const bool throughStage : {false, true}) {
    const QImage out = ::render(*canvas, 2, throughStage);
    for (const QPoint p : {QPoint(100, 100), QPoint(1800, 1100), QPoint(1000, 600), QPoint(1990, 1190)})
      EXPECT_TRUE(near(out.pixel(p), imageColor)) << throughStage << " " << p.x() << "," << p.y();
  }
}

TEST_F(CanvasViewTest, TheCachedLayerPaintsWhatDirectPaintingDoes) {
  const Mark low = rectangleMark({20, 20}, {120, 90});
  Mark blur = rectangleMark({60, 40}, {200, 160});
  blur.tool = MarkTool::blur;
  blur.blurStrength = 8;
  document.commit({low, blur, rectangleMark({150, 100}, {420, 200})}); // past the edge: grain too
  document.setTool(MarkTool::select);
  document.setSelection(document.marks().last().id);
  // A scaling painter paints directly; a high-density image goes through the layer.
  QImage direct = filledImage(canvas->size() * 2, Qt::white);
  QPainter scaled(&direct);
  scaled.scale(2, 2);
  canvas->paintCanvas(scaled);
  scaled.end();
  const QImage painted = ::render(*canvas, 2);
  EXPECT_LE(largestDifference(direct, painted), 3);
  EXPECT_EQ(::render(*canvas, 2), painted); // the second time from the layer as it stands
  // An editor in the background gives the layer up; the next paint rebuilds it.
  EXPECT_TRUE(canvas->releaseCache());
  EXPECT_FALSE(canvas->releaseCache());
  EXPECT_EQ(::render(*canvas, 2), painted);
}

TEST_F(CanvasViewTest, SelectionChromeOnlyWithTheSelectTool) {
  const Mark mark = rectangleMark({100, 100}, {200, 200});
  document.commit({mark});
  document.setSelection(mark.id);
  // The top-left handle is centred at (315, 207.5); these pixels' centres
  // lie 0.5 and 5.5 points from it: on its fill and on its ring.
  const QPoint corner(315, 207);
  const QPoint ring = corner + QPoint(5, 0);

  document.setTool(MarkTool::rectangle);
  const QImage withoutChrome = render();
  EXPECT_FALSE(near(withoutChrome.pixel(corner), Qt::white));

  document.setTool(MarkTool::select);
  const QImage withChrome = render();
  EXPECT_TRUE(near(withChrome.pixel(corner), Qt::white)); // the handle's fill
  EXPECT_TRUE(near(withChrome.pixel(ring), AppTheme::primary(), 40));

  // The chrome follows the moving copy, not the stored mark.
  canvas->setMoving(moved(mark, 50, 0));
  const QImage movingOut = render();
  EXPECT_FALSE(near(movingOut.pixel(corner), Qt::white));
  EXPECT_TRUE(near(movingOut.pixel(corner + QPoint(qRound(50 * 1.85), 0)), Qt::white));
}

TEST_F(CanvasViewTest, NoChromeForAnUnknownSelectionOrTheEditedTextMark) {
  const Mark mark = rectangleMark({100, 100}, {200, 200});
  document.commit({mark});
  document.setTool(MarkTool::select);
  const QImage plain = render();
  document.setSelection(QUuid::createUuid());
  EXPECT_EQ(render(), plain);

  Mark text = rectangleMark({220, 40}, {380, 90});
  text.tool = MarkTool::text;
  text.text = "Edited";
  text.fontSize = 30;
  text.textBoxWidth = 160;
  document.commit({mark, text});
  document.setSelection(text.id);
  canvas->setEditingTextID(text.id);
  EXPECT_EQ(render(), plain);
}

TEST_F(CanvasViewTest, ChosenWordsShowOnlyForExtractionAndTheHoverWordOnlyForWordTools) {
  // Line rectangles grow the words by 2 px: (98, 98)-(152, 122) in image pixels.
  document.setSelectedWords({RecognizedWord{"word", geom::Rect(100, 100, 50, 20), 0, 0}});
  const QPoint inside = canvas->viewPoint({125, 110}).toPoint();
  document.setTool(MarkTool::extract);
  const QRgb tinted = render().pixel(inside);
  EXPECT_FALSE(near(tinted, imageColor));
  EXPECT_GT(qBlue(tinted), imageColor.blue() + 20);
  document.setTool(MarkTool::arrow);
  EXPECT_TRUE(near(render().pixel(inside), imageColor));

  // The outline's left edge sits 2 image pixels left of the word.
  canvas->setHoverWord(RecognizedWord{"hover", geom::Rect(200, 150, 40, 20), 0, 0});
  const QPointF edge = canvas->viewPoint({198, 160});
  const QPoint onEdge(int(std::floor(edge.x())), int(edge.y()));
  const auto outlined = [&](MarkTool tool) {
    document.setTool(tool);
    return near(render().pixel(onEdge), AppTheme::primary(), 60);
  };
  for (MarkTool tool : {MarkTool::highlight, MarkTool::extract, MarkTool::redact, MarkTool::blur})
    EXPECT_TRUE(outlined(tool)) << rawValue(tool).toStdString();
  for (MarkTool tool : {MarkTool::select, MarkTool::arrow, MarkTool::text, MarkTool::pen})
    EXPECT_FALSE(outlined(tool)) << rawValue(tool).toStdString();
  canvas->beginGesture({0, 0});
  EXPECT_FALSE(outlined(MarkTool::highlight));
  canvas->endGesture();
}

TEST_F(CanvasViewTest, TheDraftGrowsThePaperLive) {
  const QPoint grownArea(900, 100); // right of the image at x = 870
  EXPECT_GT(qGray(render().pixel(grownArea)), 250);
  canvas->setDraft(rectangleMark({350, 100}, {500, 200}));
  const QRgb surface = render().pixel(grownArea);
  EXPECT_NEAR(qRed(surface), 241, 4); // the grey grown-canvas surface
}

TEST_F(CanvasViewTest, TopFadeOnlyWhenZoomedOrPannedInsideAStage) {
  const QColor stageTop = [] {
    QImage stage(1000, 600, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&stage);
    AppTheme::drawStage(painter, QRectF(0, 0, 1000, 600), true);
    return QColor(stage.pixel(500, 0));
  }();
  document.setZoom(2);
  EXPECT_TRUE(near(render().pixel(500, 0), imageColor)); // no stage ancestor

  auto *bare = canvas.release();
  EditorStageView stage(bare);
  stage.resize(1000, 600);
  ASSERT_EQ(bare->size(), QSize(1000, 600));
  const QImage faded = ::render(*bare);
  EXPECT_TRUE(near(faded.pixel(500, 0), stageTop, 8));
  EXPECT_TRUE(near(faded.pixel(500, 30), imageColor)); // below the 22-point band

  document.setZoom(1);
  document.setPan({0, 5});
  EXPECT_TRUE(near(::render(*bare).pixel(500, 0), stageTop, 8));
  document.setPan({0, 0});
  EXPECT_TRUE(near(::render(*bare).pixel(500, 0), Qt::white));
}

TEST_F(CanvasViewTest, ADragPaintsTheSameAsAFullRepaintAndFollowsEditsBeneath) {
  const Mark low = rectangleMark({20, 20}, {120, 90}), dragged = rectangleMark({150, 100}, {260, 200});
  Mark highlight = rectangleMark({100, 60}, {300, 60});
  highlight.tool = MarkTool::highlight;
  highlight.highlightMode = HighlightMode::marker;
  highlight.ink = Ink::lemon();
  highlight.width = 24;
  highlight.points = {{100, 60}, {300, 70}};
  document.commit({low, dragged, highlight});
  document.setTool(MarkTool::select);
  document.setSelection(dragged.id);

  canvas->beginGesture({150, 100});
  for (double dx : {0.0, 30.0, 61.5}) {
    canvas->setMoving(moved(dragged, dx, dx / 2));
    const QImage duringDrag = render();
    const geom::Rect frozen = canvas->imageRect();
    canvas->endGesture();
    const QImage full = render();
    canvas->beginGesture({150, 100});
    ASSERT_EQ(canvas->imageRect(), frozen);
    EXPECT_LE(largestDifference(duringDrag, full), 2) << dx;
  }
  // Beneath a blur the dragged mark shows through the blur on every frame;
  // the live patch is filtered at display resolution, so it only comes
  // close to the full-resolution one, and nothing else differs.
  for (const BlurEffect effect : {BlurEffect::pixelate, BlurEffect::blur}) {
    Mark blur = rectangleMark({140, 90}, {280, 220});
    blur.tool = MarkTool::blur;
    blur.blurEffect = effect;
    blur.blurStrength = 16;
    const QRect patch = QRectF(canvas->viewPoint({140, 90}), canvas->viewPoint({280, 220})).toAlignedRect();
    document.commit({low, dragged, highlight, blur});
    canvas->setMoving(moved(dragged, 12, 0));
    const QImage liveBlur = render();
    canvas->endGesture();
    const QImage full = render();
    EXPECT_LE(largestDifference(liveBlur, full, patch.adjusted(-1, -1, 1, 1)), 2);
    EXPECT_LT(meanDifference(liveBlur, full, patch), 4);
    canvas->beginGesture({150, 100});
    canvas->setMoving(moved(dragged, 60, 0));
    EXPECT_GT(meanDifference(render(), liveBlur, patch), 2); // the mark moved under the blur
    canvas->endGesture();
    canvas->beginGesture({150, 100});
  }
  document.commit({low, dragged, highlight});

  // A change beneath the dragged mark during the gesture shows at once.
  const QImage before = render();
  document.commit({moved(low, 0, 100), dragged, highlight});
  EXPECT_GT(largestDifference(render(), before), 50);
  canvas->endGesture();
}

// Frames kept from one paint to the next (the layer shifted while panning,
// the frame patched while dragging beneath or as a blur) must show what a
// canvas painting everything afresh shows.
class CanvasRepaintTest : public CanvasOver<CrelDocument, ::testing::TestWithParam<double>> {
protected:
  CanvasRepaintTest() : CanvasOver(screenshot(), {500, 360}) {
    const auto mark = [](MarkTool tool, QPointF start, QPointF end) {
      Mark m = sampleMark(tool, start, end);
      m.width = 5;
      m.text = "Shifted, not repainted";
      m.fontSize = 22;
      m.textBoxWidth = 160;
      m.blurStrength = 6;
      return m;
    };
    Mark pixelate = mark(MarkTool::blur, {150, 60}, {260, 170});
    pixelate.blurEffect = BlurEffect::pixelate;
    Mark turned = mark(MarkTool::text, {40, 200}, {200, 230});
    turned.rotation = 0.3;
    document.commit({mark(MarkTool::rectangle, {20, 20}, {130, 110}), mark(MarkTool::blur, {60, 40}, {170, 140}),
                     mark(MarkTool::ellipse, {100, 80}, {220, 190}), pixelate, turned,
                     mark(MarkTool::redact, {300.4, 20.6}, {350.2, 70.3}), mark(MarkTool::blur, {280, 200}, {390, 290}),
                     mark(MarkTool::arrow, {10, 280}, {390, 10})});
  }
  static QImage screenshot() {
    return generatedImage({400, 300},
                          [](int x, int y) { return qRgb((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256); });
  }
  QImage render(CanvasView &view) const { return ::render(view, GetParam()); }
  // A canvas with nothing kept, in the same state.
  QImage fresh(const std::optional<Mark> &moving = std::nullopt) {
    CanvasView other(document);
    other.resize(canvas->size());
    if (moving) {
      other.beginGesture(moving->start);
      other.setMoving(moving);
    }
    return render(other);
  }
};

TEST_P(CanvasRepaintTest, PanningPaintsWhatAFreshCanvasPaints) {
  canvas->setZoom(2.5, QPointF(250, 180));
  render(*canvas);
  // Whole view points in every direction, a half point, and moves past the
  // margin the canvas keeps painted around the view, and past the view.
  for (const QSizeF step : {QSizeF(7, 0), QSizeF(0, -5), QSizeF(-13, 9), QSizeF(3, 3), QSizeF(0.5, 0), QSizeF(-2, -11),
                            QSizeF(-300, 280), QSizeF(200, -10), QSizeF(600, 0), QSizeF(-4, 1)}) {
    document.setPan(document.pan() + step);
    const QImage panned = render(*canvas);
    // Scaled images sample a little differently where the device cuts them
    // (a row of pixel cells may start one device pixel off), nowhere more.
    EXPECT_LT(differing(panned, fresh()) * 500, panned.width() * panned.height())
        << step.width() << "," << step.height();
  }
}

TEST_P(CanvasRepaintTest, DraggingBeneathBlursPaintsWhatAFreshCanvasPaints) {
  // The lower blur, under an ellipse, a pixelate and a text mark, dragged
  // across them and then out from under them; then the ellipse, under the pixelate.
  for (const int dragged : {1, 2}) {
    const Mark original = document.marks()[dragged];
    canvas->beginGesture(original.start);
    for (const QPointF by :
         {QPointF(0, 0), QPointF(12.5, 7), QPointF(40, 30), QPointF(41, 30), QPointF(150, -20), QPointF(-30, 120)}) {
      const Mark moving = moved(original, by.x(), by.y());
      canvas->setMoving(moving);
      EXPECT_EQ(differing(render(*canvas), fresh(moving)), 0) << dragged << ": " << by.x() << "," << by.y();
    }
    canvas->setMoving(std::nullopt);
    canvas->endGesture();
  }
}

INSTANTIATE_TEST_SUITE_P(PixelRatios, CanvasRepaintTest, ::testing::Values(1.0, 2.0));

} // namespace
