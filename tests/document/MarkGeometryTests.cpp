#include "document/EditingGeometry.h"
#include "document/MarkGeometry.h"
#include "document/MarkPaths.h"

#include "MarkSamples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace crel;
using test::expectNear;
using test::makeMark;

namespace {

Mark textMark(const QString &text, double fontSize = 40, double boxWidth = 200) {
  Mark m = makeMark(MarkTool::text, {10, 20}, {10, 20});
  m.text = text;
  m.fontSize = fontSize;
  m.textBoxWidth = boxWidth;
  return m;
}

} // namespace

TEST(MarkBounds, RegionsStepPointsAndEndpoints) {
  Mark regions = makeMark(MarkTool::highlight, {0, 0}, {500, 500});
  regions.regions = QList<geom::Rect>{{10, 10, 20, 5}, {100, 40, 0, 0}};
  EXPECT_EQ(bounds(regions), geom::Rect(10, 10, 90, 30)); // a zero-size region still counts

  Mark step = makeMark(MarkTool::step, {100, 100}, {100, 100}, 64);
  EXPECT_EQ(bounds(step), geom::Rect(68, 68, 64, 64));

  Mark pen = makeMark(MarkTool::pen, {-999, -999}, {999, 999});
  pen.points = {{5, 9}, {1, 12}, {7, 3}};
  EXPECT_EQ(bounds(pen), geom::Rect(1, 3, 6, 9)); // points win over start/end

  const Mark line = makeMark(MarkTool::line, {30, 10}, {10, 10});
  EXPECT_EQ(bounds(line), geom::Rect(10, 10, 20, 0));
}

TEST(MarkBounds, TextBoxIsItsWidthAndAtLeastOnePointThreeLines) {
  const Mark one = textMark("Hi", 40, 200);
  const geom::Rect b = bounds(one);
  EXPECT_EQ(b.origin(), QPointF(10, 20));
  EXPECT_EQ(b.width(), 200);
  EXPECT_EQ(b.height(), 52); // 1.3 × 40 is taller than one line

  const Mark wrapped = textMark("several words that must wrap inside a narrow box", 40, 200);
  const geom::Rect w = bounds(wrapped);
  EXPECT_GT(w.height(), 3 * 40);
  EXPECT_EQ(w.height(), std::ceil(w.height())); // measured heights are rounded up
  EXPECT_EQ(bounds(textMark("a\nb\nc", 40, 200)).height(), bounds(textMark("a b c", 40, 20)).height());
  EXPECT_EQ(localVisualBounds(wrapped), w);
}

TEST(MarkBounds, MarkWithEmptyRegionsIsInvisibleEverywhere) {
  Mark m = makeMark(MarkTool::highlight, {0, 0}, {100, 100});
  m.regions = QList<geom::Rect>{};
  m.rotation = 0.5;
  EXPECT_TRUE(bounds(m).isNull());
  EXPECT_TRUE(localVisualBounds(m).isNull());
  EXPECT_TRUE(visualBounds(m).isNull());
  EXPECT_TRUE(handles(m).isEmpty());
  EXPECT_TRUE(rotationTransform(m).isIdentity());
  EXPECT_FALSE(hitTest(m, {0, 0}, 1000));
  EXPECT_FALSE(hitTest(m, {50, 50}, 1000));
  const Mark resizedMark = resized(m, MarkHandle::bottomRight, {200, 200});
  EXPECT_EQ(resizedMark, m);
}

TEST(MarkVisualBounds, StrokesGrowByHalfTheEffectiveWidthFillsDoNot) {
  const Mark line = makeMark(MarkTool::line, {0, 0}, {100, 0}, 10);
  EXPECT_EQ(localVisualBounds(line), geom::Rect(-5, -5, 110, 10));

  const Mark arrow = makeMark(MarkTool::arrow, {0, 0}, {300, 0}, 32);
  const geom::Rect a = localVisualBounds(arrow);
  EXPECT_NEAR(a.minX(), 0, 1e-9);
  EXPECT_NEAR(a.maxX(), 300, 1e-6);
  EXPECT_LT(a.maxY(), 44.8224); // the rounded barbs stay inside the sharp head
  EXPECT_GT(a.maxY(), 30);
  EXPECT_NEAR(a.minY(), -a.maxY(), 1e-9);

  // Zero-length arrows and empty pens are self-checks.
  EXPECT_TRUE(localVisualBounds(makeMark(MarkTool::select, {0, 0}, {50, 50})).isNull());
  EXPECT_TRUE(localVisualBounds(makeMark(MarkTool::extract, {0, 0}, {50, 50})).isNull());

  Mark area = makeMark(MarkTool::highlight, {0, 0}, {50, 20}, 30);
  area.highlightMode = HighlightMode::area;
  EXPECT_EQ(localVisualBounds(area), geom::Rect(0, 0, 50, 20));
  area.highlightMode = HighlightMode::marker;
  EXPECT_EQ(localVisualBounds(area), geom::Rect(-15, -15, 80, 50));
}

TEST(MarkRotation, TransformIsAboutTheCentreAndClockwiseOnScreen) {
  Mark m = makeMark(MarkTool::rectangle, {0, 0}, {100, 50});
  EXPECT_TRUE(rotationTransform(m).isIdentity());
  for (double none : {0.0, std::nan(""), double(INFINITY)}) {
    m.rotation = none;
    EXPECT_TRUE(rotationTransform(m).isIdentity()) << none;
  }
  m.rotation = std::numbers::pi / 2;
  const QTransform t = rotationTransform(m);
  expectNear(t.map(QPointF(50, 25)), {50, 25});
  // The right edge's midpoint turns to the bottom on a y-down screen.
  expectNear(t.map(QPointF(100, 25)), {50, 75});
  expectNear(visualBounds(m).center(), {50, 25}, 1e-9);
  EXPECT_NEAR(visualBounds(m).width(), 54, 1e-9);
}

TEST(MarkRotation, RotatedNormalisesAndDropsTinyAngles) {
  const Mark m = makeMark(MarkTool::rectangle, {0, 0}, {100, 50});
  EXPECT_NEAR(*rotated(m, 2 * std::numbers::pi + 0.5).rotation, 0.5, 1e-12);
  EXPECT_FALSE(rotated(m, 1e-8).rotation.has_value());
  EXPECT_EQ(*rotated(m, 5e-7).rotation, 5e-7); // 1e-7 is the threshold, not 1e-6
  EXPECT_FALSE(rotated(m, 2 * std::numbers::pi).rotation.has_value());
  Mark turned = m;
  turned.rotation = 0.3;
  EXPECT_EQ(rotated(turned, std::nan("")), turned);
  EXPECT_EQ(rotated(turned, -INFINITY), turned);
  Mark expected = turned;
  expected.rotation = -1;
  EXPECT_EQ(rotated(turned, -1), expected); // nothing else changes
}

TEST(MarkHandles, KindsAndOrderPerTool) {
  const Mark arrow = makeMark(MarkTool::arrow, {1, 2}, {30, 40});
  const QList<MarkHandlePoint> a = handles(arrow);
  ASSERT_EQ(a.size(), 2);
  EXPECT_EQ(a[0].handle, MarkHandle::start);
  EXPECT_EQ(a[0].point, QPointF(1, 2));
  EXPECT_EQ(a[1].handle, MarkHandle::end);

  const QList<MarkHandlePoint> t = handles(textMark("Hi"));
  ASSERT_EQ(t.size(), 1);
  EXPECT_EQ(t[0].handle, MarkHandle::bottomRight);
  EXPECT_EQ(t[0].point, QPointF(210, 72));

  const QList<MarkHandlePoint> r = handles(makeMark(MarkTool::ellipse, {100, 80}, {0, 0}));
  ASSERT_EQ(r.size(), 4);
  const MarkHandle order[] = {MarkHandle::topLeft, MarkHandle::topRight, MarkHandle::bottomLeft,
                              MarkHandle::bottomRight};
  const QPointF corners[] = {{0, 0}, {100, 0}, {0, 80}, {100, 80}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(r[i].handle, order[i]);
    EXPECT_EQ(r[i].point, corners[i]);
  }
}

TEST(MarkHandles, RotationHandleSitsThirtyViewPointsAboveAndLeadsTheSelection) {
  Mark m = makeMark(MarkTool::rectangle, {0, 0}, {100, 50}, 4);
  expectNear(rotationHandle(m, 2), {50, -2 - 15}); // above the stroke, not the geometry
  expectNear(rotationHandle(m, 0), {50, -2 - 30000});

  m.rotation = std::numbers::pi;
  const QList<MarkHandlePoint> s = selectionHandles(m, 1);
  ASSERT_EQ(s.size(), 5);
  EXPECT_EQ(s[0].handle, MarkHandle::rotation);
  expectNear(s[0].point, {50, 52 + 30});
  EXPECT_EQ(s[1].handle, MarkHandle::topLeft);
  expectNear(s[1].point, {100, 50});
}

TEST(MarkHitTest, StrokesBoxesAndText) {
  const Mark line = makeMark(MarkTool::line, {0, 0}, {100, 0}, 10);
  EXPECT_TRUE(hitTest(line, {50, 7}, 2));
  EXPECT_FALSE(hitTest(line, {50, 7.5}, 2));
  EXPECT_TRUE(hitTest(line, {-6, 0}, 1)); // the round cap end

  Mark pen = makeMark(MarkTool::pen, {0, 0}, {0, 0}, 10);
  pen.points = {{20, 20}};
  EXPECT_FALSE(hitTest(pen, {20, 20}, 100)); // one point is only a move

  // The closing edge of a triangle is tested too.
  const Mark triangle = makeMark(MarkTool::triangle, {0, 0}, {100, 100}, 2);
  EXPECT_TRUE(hitTest(triangle, {25, 50}, 1));
  EXPECT_FALSE(hitTest(triangle, {50, 50}, 1)); // stroked shapes are hit on the stroke only

  const Mark step = makeMark(MarkTool::step, {100, 100}, {100, 100}, 64);
  EXPECT_TRUE(hitTest(step, {131, 131}, 0));
  EXPECT_TRUE(hitTest(step, {134, 100}, 3));
  EXPECT_FALSE(hitTest(step, {140, 100}, 3));

  const Mark text = textMark("Hi");
  EXPECT_TRUE(hitTest(text, {200, 60}, 0));
  EXPECT_FALSE(hitTest(text, {215, 60}, 3));
}

TEST(MarkResize, StepAndTextClamps) {
  const Mark step = makeMark(MarkTool::step, {100, 100}, {100, 100}, 64);
  const Mark small = resized(step, MarkHandle::bottomRight, {100, 105});
  EXPECT_EQ(small.width, 16);
  EXPECT_EQ(small.start, step.start);
  EXPECT_EQ(resized(step, MarkHandle::topLeft, {40, 90}).width, 120);

  const Mark text = textMark("Hi", 40, 200);
  const Mark left = resized(text, MarkHandle::bottomRight, {0, 50});
  EXPECT_EQ(left.fontSize, 8);
  EXPECT_EQ(left.textBoxWidth, 40);
  EXPECT_EQ(left.start, text.start);
  const Mark wide = textMark("Hi", 40, 1000);
  EXPECT_DOUBLE_EQ(resized(wide, MarkHandle::bottomRight, {-100, 0}).textBoxWidth, 100);
  EXPECT_EQ(resized(text, MarkHandle::bottomRight, {100000, 0}).fontSize, 300);
  const Mark doubled = resized(text, MarkHandle::bottomRight, {410, 0});
  EXPECT_DOUBLE_EQ(doubled.fontSize, 80);
  EXPECT_DOUBLE_EQ(doubled.textBoxWidth, 400);
}

TEST(MarkResize, BoxesFitTheNewBoxWithoutMirroring) {
  Mark pen = makeMark(MarkTool::pen, {0, 0}, {0, 0});
  pen.points = {{0, 0}, {100, 50}, {50, 25}};
  const Mark r = resized(pen, MarkHandle::bottomRight, {-50, -20});
  // The anchor (0, 0) and the dragged point span (-50, -20, 50, 20).
  EXPECT_EQ(r.points[0], QPointF(-50, -20));
  EXPECT_EQ(r.points[1], QPointF(0, 0));
  EXPECT_EQ(r.points[2], QPointF(-25, -10));
  EXPECT_EQ(r.width, pen.width);

  const Mark box = makeMark(MarkTool::rectangle, {10, 10}, {110, 60});
  const Mark squashed = resized(box, MarkHandle::bottomRight, {10.2, 10.3});
  EXPECT_EQ(bounds(squashed), geom::Rect(10, 10, 1, 1)); // never thinner than one pixel
}

TEST(MarkResize, EachCornerKeepsTheOppositeOneFixed) {
  const Mark box = makeMark(MarkTool::rectangle, {10, 20}, {110, 70});
  for (const auto &[handle, fixed] : {std::pair{MarkHandle::topLeft, QPointF(110, 70)},
                                      {MarkHandle::topRight, QPointF(10, 70)},
                                      {MarkHandle::bottomLeft, QPointF(110, 20)},
                                      {MarkHandle::bottomRight, QPointF(10, 20)}}) {
    const QPointF to(60, 45);
    EXPECT_EQ(bounds(resized(box, handle, to)), geom::Rect(std::min(to.x(), fixed.x()), std::min(to.y(), fixed.y()),
                                                           std::abs(to.x() - fixed.x()), std::abs(to.y() - fixed.y())))
        << int(handle);
  }
}

TEST(MarkMove, OffsetsEveryCoordinateAndKeepsAbsentRegionsAbsent) {
  Mark m = makeMark(MarkTool::pen, {1, 2}, {3, 4});
  m.points = {{5, 6}};
  const Mark a = moved(m, 10, -1);
  EXPECT_EQ(a.start, QPointF(11, 1));
  EXPECT_EQ(a.end, QPointF(13, 3));
  EXPECT_EQ(a.points[0], QPointF(15, 5));
  EXPECT_FALSE(a.regions.has_value());
  m.regions = QList<geom::Rect>{{0, 0, 5, 5}};
  EXPECT_EQ(moved(m, 10, -1).regions->first(), geom::Rect(10, -1, 5, 5));
}

TEST(EditingGeometry, Proportional) {
  using EditingGeometry::proportional;
  EXPECT_EQ(proportional({30, 5}, {0, 0}, 2), QPointF(30, 15));     // width wins
  EXPECT_EQ(proportional({10, 40}, {0, 0}, 2), QPointF(80, 40));    // height wins
  EXPECT_EQ(proportional({-30, -5}, {0, 0}, 2), QPointF(-30, -15)); // stays on the point's side
  EXPECT_EQ(proportional({0, 0}, {0, 0}, 1), QPointF(0, 0));
  EXPECT_EQ(proportional({5, 5}, {5, 0}, 1), QPointF(10, 5)); // a tie on x counts as positive
  const QPointF tiny = proportional({1, 1}, {0, 0}, 0);
  EXPECT_NEAR(tiny.x(), 1, 1e-12); // the ratio is at least 0.001
  EXPECT_EQ(tiny.y(), 1000);
}
