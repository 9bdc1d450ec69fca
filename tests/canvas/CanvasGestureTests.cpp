#include "CanvasInputFixture.h"

#include "canvas/GestureGeometry.h"

#include "document/MarkGeometry.h"

#include <QSignalSpy>

#include <cmath>
#include <numbers>

using namespace crel;
using namespace crel::test;

namespace {

constexpr double degree = std::numbers::pi / 180;

class CanvasGestureTest : public CanvasInputTest {
protected:
  QPointF handlePoint(const Mark &mark, MarkHandle handle) {
    for (const MarkHandlePoint &h : selectionHandles(mark, canvas->scale()))
      if (h.handle == handle)
        return h.point;
    ADD_FAILURE() << "no such handle";
    return {};
  }
};

TEST(GestureGeometry, ShiftConstraintsRoundHalvesAwayFromZero) {
  using namespace GestureGeometry;
  expectNear(directionSnapped({0, 0}, {10, 4}), {10, 0});
  expectNear(directionSnapped({0, 0}, {10, 9}), {9.5, 9.5});
  expectNear(squared({0, 0}, {-5, 12}), {-12, 12});
  expectNear(squared({0, 0}, {0, -3}), {3, -3});  // a tie counts as the positive side
  expectNear(axisLocked({0, 0}, {5, 5}), {5, 0}); // ties stay horizontal
  expectNear(axisLocked({0, 0}, {5, 6}), {0, 6});
  EXPECT_NEAR(snappedAngle(22.4 * degree, rotationStep), 15 * degree, 1e-12);
  EXPECT_NEAR(snappedAngle(22.5 * degree, rotationStep), 30 * degree, 1e-12);
  EXPECT_NEAR(snappedAngle(-22.5 * degree, rotationStep), -30 * degree, 1e-12);
}

TEST_F(CanvasGestureTest, ADraftIsKeptWhenLongerThanOnePixelOrFreehandWithThreePoints) {
  document.setTool(MarkTool::line);
  stroke({{20, 20}, {21, 20}});
  EXPECT_TRUE(document.marks().isEmpty());
  stroke({{20, 20}, {21.0001, 20}});
  EXPECT_EQ(document.marks().size(), 1);

  // A pen loop ends where it began but has its points.
  document.setTool(MarkTool::pen);
  stroke({{30, 30}, {40, 30}, {40, 40}, {30, 30}});
  ASSERT_EQ(document.marks().size(), 2);
  EXPECT_EQ(document.marks().last().points.size(), 4);
  EXPECT_EQ(document.marks().last().end, QPointF(30, 30));
  EXPECT_EQ(document.history().size(), 2);
}

TEST_F(CanvasGestureTest, NewMarksTakeTheDocumentsSettings) {
  document.selectTool(MarkTool::highlight);
  document.setHighlightMode(HighlightMode::marker);
  // The right half of the image is dark.
  stroke({{150, 50}, {170, 50}});
  ASSERT_EQ(document.marks().size(), 1);
  const Mark &m = only();
  EXPECT_EQ(m.highlightMode, HighlightMode::marker);
  EXPECT_EQ(m.opacity, document.highlightOpacity());
  EXPECT_EQ(m.highlightDarkRegions, QList<bool>{true});
  EXPECT_EQ(m.fontSize, 40);
  EXPECT_EQ(m.textBoxWidth, 320);
  EXPECT_EQ(m.constrained, false);
  EXPECT_EQ(m.width, document.stroke());
  EXPECT_FALSE(m.blurEffect);

  document.selectTool(MarkTool::blur);
  stroke({{10, 10}, {40, 40}});
  EXPECT_EQ(document.marks().last().blurStrength, document.blurStrength());
  EXPECT_EQ(document.marks().last().highlightDarkRegions, std::nullopt);
}

TEST_F(CanvasGestureTest, ShiftKeyAloneReshapesTheMarkerStrokeAndLettingGoRestoresIt) {
  document.selectTool(MarkTool::highlight);
  document.setHighlightMode(HighlightMode::marker);
  press({20, 20});
  drag({30, 22});
  drag({40, 25});
  EXPECT_EQ(canvas->draft()->points.size(), 3);
  // No pointer movement: only the key.
  key(Qt::Key_Shift);
  EXPECT_EQ(canvas->draft()->points, (QList<QPointF>{{20, 20}, {40, 20}}));
  EXPECT_EQ(canvas->draft()->end, QPointF(40, 20));
  keyUp(Qt::Key_Shift, Qt::ShiftModifier);
  EXPECT_EQ(canvas->draft()->points, (QList<QPointF>{{20, 20}, {30, 22}, {40, 25}}));
  EXPECT_EQ(canvas->draft()->constrained, false);
  release({40, 25});
  EXPECT_EQ(only().points.size(), 3);
}

TEST_F(CanvasGestureTest, SamplesCloserThanHalfAViewPointAreSkipped) {
  document.setTool(MarkTool::pen);
  press({20, 20});
  drag({20.2, 20}); // 0.4 view points
  drag({20.3, 20}); // 0.6 from the press
  EXPECT_EQ(interaction().rawPoints(), (QList<QPointF>{{20, 20}, {20.3, 20}}));
  release({20.3, 20});
}

TEST_F(CanvasGestureTest, MovingIsOneCommitAtTheReleaseAndShiftLocksAnAxis) {
  const Mark mark = placeSelectedRectangle();
  const qsizetype undoSteps = document.history().size();
  press({40, 60});
  drag({45, 62});
  drag({55, 67});
  // Nothing reaches the document before the release.
  EXPECT_EQ(only(), mark);
  EXPECT_EQ(canvas->moving()->start, QPointF(55, 47));
  // Exactly diagonal: the move is horizontal.
  drag({50, 70}, Qt::ShiftModifier);
  EXPECT_EQ(canvas->moving()->start, QPointF(50, 40));
  release({50, 70}, Qt::ShiftModifier);
  EXPECT_EQ(only().start, QPointF(50, 40));
  EXPECT_EQ(document.history().size(), undoSteps + 1);
  EXPECT_EQ(document.selection(), mark.id);
  EXPECT_FALSE(canvas->moving());
  EXPECT_FALSE(canvas->anchor());
}

TEST_F(CanvasGestureTest, APressSelectsTheTopmostMarkAndAMissClearsTheSelection) {
  const Mark below = sampleMark(MarkTool::rectangle, {40, 40}, {100, 80});
  const Mark above = sampleMark(MarkTool::ellipse, {40, 40}, {100, 80});
  document.commit({below, above});
  document.setTool(MarkTool::select);
  stroke({{70, 40}}); // on both outlines
  EXPECT_EQ(document.selection(), above.id);
  EXPECT_EQ(document.history().size(), 1); // an unmoved click commits nothing
  stroke({{150, 120}});
  EXPECT_FALSE(document.selection());
}

TEST_F(CanvasGestureTest, RotationThroughTheCentreChangesNothing) {
  Mark mark = sampleMark(MarkTool::rectangle, {40, 40}, {100, 80});
  mark.rotation = 0.3;
  document.commit({mark});
  document.selectMark(mark, false);
  press(handlePoint(mark, MarkHandle::rotation));
  drag(bounds(mark).center());
  EXPECT_EQ(*canvas->moving(), mark);
  release(bounds(mark).center());
  EXPECT_EQ(only(), mark);
  EXPECT_EQ(document.history().size(), 1);
}

// Snapping a line's end with Shift is a self-check; here the corner and the flag.
TEST_F(CanvasGestureTest, CornersResizeProportionallyAndShiftOnALineEndIsRemembered) {
  const Mark mark = placeSelectedRectangle(); // 60 x 40
  press(handlePoint(mark, MarkHandle::bottomRight));
  drag({130, 85}, Qt::ShiftModifier);
  const geom::Rect b = bounds(*canvas->moving());
  EXPECT_NEAR(b.width() / b.height(), 1.5, 1e-12);
  EXPECT_EQ(b.origin(), QPointF(40, 40));
  release({130, 85}, Qt::ShiftModifier);

  const Mark line = sampleMark(MarkTool::line, {20, 100}, {60, 100});
  document.commit({line});
  document.selectMark(line, false);
  press(handlePoint(line, MarkHandle::end));
  drag({60, 104}, Qt::ShiftModifier);
  EXPECT_EQ(canvas->moving()->constrained, true);
  drag({60, 104});
  EXPECT_EQ(canvas->moving()->constrained, false);
  release({60, 104});
}

TEST_F(CanvasGestureTest, DoubleClickOnATextMarkOpensItOnceAndATripleClickDoesNotReopen) {
  const Mark text = [] {
    Mark m = sampleMark(MarkTool::text, {40, 40}, {40, 40});
    m.text = "Note";
    return m;
  }();
  document.commit({text});
  document.setTool(MarkTool::select);
  QList<std::pair<QPointF, std::optional<Mark>>> opened;
  interaction().hooks().addText = [&](QPointF p, const std::optional<Mark> &editing) {
    opened.append({p, editing});
    canvas->setEditingTextID(editing ? editing->id : QUuid::createUuid());
  };
  const QPointF inside = bounds(text).center();
  press(inside);
  release(inside);
  EXPECT_TRUE(opened.isEmpty());
  doubleClick(inside);
  ASSERT_EQ(opened.size(), 1);
  EXPECT_EQ(opened[0].first, text.start);
  EXPECT_EQ(opened[0].second, text);
  EXPECT_EQ(document.selection(), text.id);
  // The editor holds the image still after the release; no gesture runs.
  EXPECT_FALSE(canvas->anchor());
  release(inside);
  press(inside);
  release(inside);
  EXPECT_EQ(opened.size(), 1);
}

TEST_F(CanvasGestureTest, TheTextToolOpensANewTextMarkAtThePress) {
  document.setTool(MarkTool::text);
  std::optional<QPointF> at;
  interaction().hooks().addText = [&](QPointF p, const std::optional<Mark> &editing) {
    at = p;
    EXPECT_FALSE(editing);
  };
  press({30, 30});
  EXPECT_EQ(at, QPointF(30, 30));
  release({30, 30});
}

// Alt-click itself is a self-check; these are the modifier combinations around it.
TEST_F(CanvasGestureTest, AltShiftClickCopiesButAltCtrlDoesNot) {
  QList<PixelColor> copied;
  interaction().hooks().copyColor = [&](const PixelColor &c) { copied.append(c); };
  stroke({{150, 20}, {190, 60}}, Qt::AltModifier | Qt::ShiftModifier);
  ASSERT_EQ(copied.size(), 1);
  EXPECT_EQ(copied[0].hex(), "#14141E");
  EXPECT_TRUE(document.marks().isEmpty());
  EXPECT_FALSE(interaction().copyingColor());
  stroke({{20, 20}, {60, 60}}, Qt::AltModifier | Qt::ControlModifier);
  EXPECT_EQ(copied.size(), 1);
}

TEST_F(CanvasGestureTest, APressOnTheChromeDoesNothing) {
  const Mark mark = placeSelectedRectangle();
  canvas->setChromeFrames({geom::Rect(0, 0, 432, 100)});
  int hidden = 0;
  interaction().hooks().hideColorInspection = [&] { ++hidden; };
  mouseAt(QEvent::MouseButtonPress, {200, 50});
  EXPECT_FALSE(canvas->anchor());
  EXPECT_EQ(document.selection(), mark.id);
  EXPECT_EQ(hidden, 0);
  mouseAt(QEvent::MouseButtonRelease, {200, 50});
  EXPECT_EQ(document.marks(), QList<Mark>{mark});
}

TEST_F(CanvasGestureTest, TheMappingStaysFrozenWhileTheCanvasGrowsUnderADrag) {
  const geom::Rect before = canvas->imageRect();
  press({150, 100});
  drag({260, 190}); // past the image's edge
  EXPECT_EQ(canvas->imageRect(), before);
  EXPECT_GT(document.expandedBounds(canvas->drawnMarks()).maxX(), 200);
  release({260, 190});
  EXPECT_EQ(only().end, QPointF(260, 190));
  EXPECT_NE(canvas->imageRect(), before);
}

TEST_F(CanvasGestureTest, WordGesturesRunTheirStepsAndExplainAnEmptyChoice) {
  document.setTool(MarkTool::extract);
  QList<QPointF> steps;
  interaction().hooks().updateTextGesture = [&](QPointF p) { steps.append(p); };
  stroke({{20, 20}, {30, 22}});
  EXPECT_EQ(steps, (QList<QPointF>{{20, 20}, {30, 22}, {30, 22}}));
  EXPECT_EQ(document.status(), "Choose a word, or switch to Area for manual drawing.");
  EXPECT_FALSE(interaction().textGesture());
}

TEST_F(CanvasGestureTest, EscapeDuringADragDiscardsItAndTheReleaseCommitsNothing) {
  const Mark mark = placeSelectedRectangle();
  document.setSelectedWords({RecognizedWord{"w", geom::Rect(1, 1, 2, 2), 0, 0}});
  press({40, 60});
  drag({60, 70});
  EXPECT_TRUE(key(Qt::Key_Escape));
  EXPECT_FALSE(canvas->moving());
  EXPECT_FALSE(canvas->anchor());
  EXPECT_FALSE(document.selection());
  EXPECT_TRUE(document.selectedWords().isEmpty());
  drag({80, 70});
  release({80, 70});
  EXPECT_EQ(document.marks(), QList<Mark>{mark});
  EXPECT_EQ(document.history().size(), 1);
}

TEST_F(CanvasGestureTest, DeletingTheDraggedMarkLeavesNothingToCommitOrSelect) {
  const Mark mark = placeSelectedRectangle();
  const Mark other = sampleMark(MarkTool::ellipse, {120, 100}, {160, 130});
  document.commit({mark, other});
  press({40, 60});
  drag({60, 70});
  EXPECT_TRUE(key(Qt::Key_Delete));
  EXPECT_EQ(document.marks(), QList<Mark>{other});
  QSignalSpy selections(&document, &CrelDocument::selectionChanged);
  drag({70, 70});
  EXPECT_FALSE(canvas->moving()); // no chrome for a vanished mark
  release({70, 70});
  EXPECT_EQ(document.marks(), QList<Mark>{other});
  EXPECT_FALSE(document.selection());
  EXPECT_EQ(selections.count(), 0);
  EXPECT_EQ(document.history().size(), 3); // two commits and the deletion, no more
}

TEST_F(CanvasGestureTest, SpaceDragPansAndAutoRepeatReleasesDoNotEndIt) {
  canvas->setZoom(3, QPointF(216, 158));
  const QSizeF pan = document.pan();
  EXPECT_TRUE(key(Qt::Key_Space));
  EXPECT_EQ(canvas->cursor().shape(), Qt::OpenHandCursor);
  // X11 turns a held key into release/press pairs.
  EXPECT_TRUE(keyUp(Qt::Key_Space, {}, true));
  EXPECT_TRUE(key(Qt::Key_Space, {}, true));
  EXPECT_TRUE(interaction().spaceHeld());
  mouseAt(QEvent::MouseButtonPress, {100, 100});
  mouseAt(QEvent::MouseMove, {130, 90});
  EXPECT_EQ(document.pan(), QSizeF(pan.width() + 30, pan.height() - 10));
  // Letting go of Space does not end a pan under way.
  EXPECT_TRUE(keyUp(Qt::Key_Space));
  EXPECT_EQ(canvas->cursor().shape(), Qt::ArrowCursor);
  mouseAt(QEvent::MouseMove, {140, 90});
  mouseAt(QEvent::MouseButtonRelease, {140, 90});
  EXPECT_EQ(document.pan(), QSizeF(pan.width() + 40, pan.height() - 10));
  EXPECT_TRUE(document.marks().isEmpty());
  EXPECT_FALSE(interaction().panning());
}

TEST_F(CanvasGestureTest, WithSpaceHeldAnAltPressPansInsteadOfCopying) {
  int copies = 0;
  interaction().hooks().copyColor = [&](const PixelColor &) { ++copies; };
  key(Qt::Key_Space);
  mouseAt(QEvent::MouseButtonPress, {100, 100}, Qt::AltModifier);
  mouseAt(QEvent::MouseMove, {90, 104}, Qt::AltModifier);
  mouseAt(QEvent::MouseButtonRelease, {90, 104}, Qt::AltModifier);
  EXPECT_EQ(copies, 0);
  EXPECT_EQ(document.pan(), QSizeF(-10, 4));
}

TEST_F(CanvasGestureTest, OnlyTheLeftButtonDrawsAndTheReleaseResumesColourSampling) {
  std::optional<QPointF> inspected;
  interaction().hooks().inspectColor = [&](QPointF v) { inspected = v; };
  mouseAt(QEvent::MouseButtonPress, view({20, 20}), {}, Qt::MiddleButton);
  EXPECT_FALSE(canvas->anchor());
  stroke({{20, 20}, {60, 50}});
  EXPECT_EQ(inspected, view({60, 50}));
  EXPECT_EQ(document.marks().size(), 1);
}

} // namespace
