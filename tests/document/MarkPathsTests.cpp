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

using Type = MarkPath::ElementType;

QList<Type> types(const MarkPath &p) {
  QList<Type> out;
  for (const MarkPath::Element &e : p.elements())
    out.append(e.type);
  return out;
}

} // namespace

TEST(ArrowProportions, LongThinAndShortArrows) {
  const Mark arrow = makeMark(MarkTool::arrow, {0, 0}, {300, 0}, 32);
  EXPECT_EQ(effectiveLineWidth(arrow), 32);
  EXPECT_NEAR(arrowHeadLength(arrow), 92.8, 1e-12);
  EXPECT_NEAR(arrowHeadHalfWidth(arrow), 44.8224, 1e-12);
  const QList<QPointF> barbs = arrowHeadPoints(arrow);
  ASSERT_EQ(barbs.size(), 2);
  expectNear(barbs[0], {207.2, -44.8224});
  expectNear(barbs[1], {207.2, 44.8224});

  const Mark shortArrow = makeMark(MarkTool::arrow, {0, 0}, {60, 0}, 32);
  EXPECT_EQ(effectiveLineWidth(shortArrow), 10);
  EXPECT_NEAR(arrowHeadLength(shortArrow), 27.6, 1e-12);

  Mark scaled = arrow;
  scaled.arrowHeadScale = 0.5;
  EXPECT_NEAR(arrowHeadLength(scaled), 46.4, 1e-12);
  EXPECT_EQ(effectiveLineWidth(makeMark(MarkTool::line, {0, 0}, {6, 0}, 32)), 32);
}

TEST(FormalArrowPath, OutlineSpansExactlyFromTailToTip) {
  const Mark arrow = makeMark(MarkTool::arrow, {0, 0}, {300, 0}, 32);
  ASSERT_TRUE(fillsPath(arrow));
  const MarkPath outline = path(arrow);
  EXPECT_FALSE(outline.lineWidth.has_value()); // a fill, not a stroke
  const geom::Rect box = outline.boundingBox();
  EXPECT_NEAR(box.maxX(), 300, 1e-9);
  EXPECT_NEAR(box.minX(), 0, 1e-12);
  EXPECT_NEAR(box.minY(), -box.maxY(), 1e-9);

  // Built as move … close; the close stays even though the last cubic
  // already returns to the first point.
  const QList<MarkPath::Element> &e = outline.elements();
  ASSERT_GE(e.size(), 4);
  EXPECT_EQ(e.first().type, Type::moveTo);
  EXPECT_EQ(e.last().type, Type::close);
  EXPECT_EQ(e[e.size() - 2].type, Type::curveTo);
  expectNear(e[e.size() - 2].points[2], e.first().points[0], 1e-12);
  expectNear(e.first().points[0], {6.72, -6.72}, 1e-12); // the round tail's radius is 0.21 w

  // The rounded tip lands on the end point for short, long, thin and
  // big-headed arrows alike.
  for (double len : {12.0, 60.0, 300.0, 2000.0})
    for (double width : {1.0, 6.0, 32.0})
      for (double scale : {0.5, 1.0, 2.0}) {
        Mark m = makeMark(MarkTool::arrow, {0, 0}, {len, 0}, width);
        m.arrowHeadScale = scale;
        const geom::Rect b = formalArrowPath(m).boundingBox();
        EXPECT_NEAR(b.maxX(), len, 1e-9 * len) << len << " " << width << " " << scale;
        EXPECT_NEAR(b.minX(), 0, 1e-12);
      }

  // Turned and moved with the arrow.
  const Mark down = makeMark(MarkTool::arrow, {50, 20}, {50, 320}, 32);
  const geom::Rect turned = path(down).boundingBox();
  EXPECT_NEAR(turned.maxY(), 320, 1e-9);
  EXPECT_NEAR(turned.minY(), 20, 1e-9);
  EXPECT_NEAR(turned.midX(), 50, 1e-9);
}

TEST(DoodlePath, BowedLinesAndCurvedArrowHead) {
  const Mark line = makeMark(MarkTool::line, {0, 0}, {300, 0}, 4, AnnotationStyle::doodle);
  const MarkPath p = path(line);
  ASSERT_EQ(types(p), (QList<Type>{Type::moveTo, Type::curveTo}));
  expectNear(p.elements()[1].points[0], {100, 4.5});
  expectNear(p.elements()[1].points[1], {200, 4.5});
  EXPECT_EQ(p.elements()[1].points[2], QPointF(300, 0));
  EXPECT_EQ(p.lineWidth, 4.0);

  Mark arrow = makeMark(MarkTool::arrow, {0, 0}, {300, 0}, 12, AnnotationStyle::doodle);
  EXPECT_FALSE(fillsPath(arrow));
  const MarkPath stroked = path(arrow);
  EXPECT_EQ(types(stroked), (QList<Type>{Type::moveTo, Type::curveTo, Type::moveTo, Type::curveTo, Type::curveTo}));
  EXPECT_EQ(stroked.lineWidth, 12.0);
  // Both barbs meet at the tip and lean the way the bowed shaft arrives.
  const QPointF p1 = stroked.elements()[2].points[0], tip = stroked.elements()[3].points[2];
  const QPointF p2 = stroked.elements()[4].points[2];
  EXPECT_EQ(tip, QPointF(300, 0));
  EXPECT_GT(p1.y() + p2.y(), 0);
  EXPECT_NEAR(std::hypot(p1.x() - p2.x(), p1.y() - p2.y()), 2 * arrowHeadHalfWidth(arrow), 1e-9);

  arrow.constrained = true;
  EXPECT_TRUE(fillsPath(arrow));
  EXPECT_EQ(types(path(arrow)), types(formalArrowPath(arrow)));
  EXPECT_EQ(path(arrow).boundingBox(), formalArrowPath(arrow).boundingBox());
}

TEST(DoodlePath, PenIsACatmullRomSpline) {
  Mark pen = makeMark(MarkTool::pen, {0, 0}, {0, 0}, 6, AnnotationStyle::doodle);
  const MarkPath empty = path(pen);
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_FALSE(empty.lineWidth.has_value());

  pen.points = {{10, 10}};
  EXPECT_EQ(types(path(pen)), (QList<Type>{Type::moveTo}));

  pen.points = {{0, 0}, {60, 30}};
  const MarkPath two = path(pen);
  ASSERT_EQ(types(two), (QList<Type>{Type::moveTo, Type::curveTo}));
  expectNear(two.elements()[1].points[0], {10, 5});
  expectNear(two.elements()[1].points[1], {50, 25});

  pen.points = {{0, 0}, {60, 0}, {60, 60}};
  const MarkPath three = path(pen);
  ASSERT_EQ(three.elements().size(), 3);
  // Interior tangents run from the previous to the next sample.
  expectNear(three.elements()[1].points[1], QPointF(60, 0) - QPointF(60, 60) / 6);
  expectNear(three.elements()[2].points[0], QPointF(60, 0) + QPointF(60, 60) / 6);
}

TEST(DoodlePath, BoxesAndOvalsAreClosedCurves) {
  const Mark rect = makeMark(MarkTool::rectangle, {0, 0}, {200, 100}, 4, AnnotationStyle::doodle);
  EXPECT_EQ(types(path(rect)),
            (QList<Type>{Type::moveTo, Type::curveTo, Type::curveTo, Type::curveTo, Type::curveTo, Type::close}));
  const Mark oval = makeMark(MarkTool::ellipse, {0, 0}, {200, 100}, 4, AnnotationStyle::doodle);
  EXPECT_EQ(path(oval).elements().last().type, Type::close);

  // Highlights, blurs, redactions and steps have no doodle form.
  Mark highlight = makeMark(MarkTool::highlight, {0, 0}, {100, 0}, 20, AnnotationStyle::doodle);
  EXPECT_EQ(types(path(highlight)), (QList<Type>{Type::moveTo, Type::lineTo}));
  EXPECT_TRUE(path(makeMark(MarkTool::text, {0, 0}, {0, 0}, 4, AnnotationStyle::doodle)).isEmpty());
}

TEST(FormalPath, ShapesPerTool) {
  const MarkPath tri = path(makeMark(MarkTool::triangle, {0, 0}, {100, 50}, 3));
  ASSERT_EQ(types(tri), (QList<Type>{Type::moveTo, Type::lineTo, Type::lineTo, Type::close}));
  EXPECT_EQ(tri.elements()[0].points[0], QPointF(50, 0));
  EXPECT_EQ(tri.elements()[1].points[0], QPointF(100, 50));
  EXPECT_EQ(tri.elements()[2].points[0], QPointF(0, 50));
  EXPECT_EQ(tri.lineWidth, 3.0);

  const MarkPath rect = path(makeMark(MarkTool::redact, {100, 50}, {0, 0}));
  EXPECT_EQ(rect.boundingBox(), geom::Rect(0, 0, 100, 50));
  EXPECT_EQ(types(rect).last(), Type::close);

  const MarkPath oval = path(makeMark(MarkTool::ellipse, {0, 0}, {100, 50}));
  EXPECT_EQ(oval.boundingBox(), geom::Rect(0, 0, 100, 50));

  Mark marker = makeMark(MarkTool::highlight, {1, 1}, {9, 9}, 20);
  marker.points = {{5, 5}, {20, 5}, {40, 8}};
  const MarkPath m = path(marker);
  ASSERT_EQ(types(m), (QList<Type>{Type::moveTo, Type::lineTo, Type::lineTo}));
  EXPECT_EQ(m.elements()[0].points[0], QPointF(1, 1)); // starts at start, skips the first sample
  EXPECT_EQ(m.elements()[1].points[0], QPointF(20, 5));
  marker.points = {{5, 5}};
  EXPECT_EQ(types(path(marker)), (QList<Type>{Type::moveTo}));
  marker.points.clear();
  EXPECT_EQ(path(marker).elements()[1].points[0], QPointF(9, 9));

  for (MarkTool none : {MarkTool::text, MarkTool::step, MarkTool::select, MarkTool::extract})
    EXPECT_TRUE(path(makeMark(none, {0, 0}, {10, 10})).isEmpty());
}

TEST(MarkPathElements, PainterPathKeepsWindingAndSegmentsIncludeCloses) {
  MarkPath p;
  p.addRect({0, 0, 10, 10});
  p.addRect({2, 2, 6, 6}); // same direction: non-zero keeps the hole filled
  EXPECT_TRUE(p.contains({5, 5}));
  EXPECT_EQ(p.toPainterPath().fillRule(), Qt::WindingFill);

  int segments = 0;
  bool closingEdgeSeen = false;
  p.anySegment([&](QPointF a, QPointF b) {
    ++segments;
    closingEdgeSeen = closingEdgeSeen || (a == QPointF(0, 10) && b == QPointF(0, 0));
    return false;
  });
  EXPECT_EQ(segments, 8);
  EXPECT_TRUE(closingEdgeSeen);

  // Curves flatten to chords within 0.6 px of the curve.
  MarkPath oval;
  oval.addOval({0, 0, 400, 400});
  double worst = 0;
  oval.anySegment([&](QPointF a, QPointF b) {
    const QPointF mid = (a + b) / 2 - QPointF(200, 200);
    worst = std::max(worst, 200 - std::hypot(mid.x(), mid.y()));
    return false;
  });
  EXPECT_GT(worst, 0);
  EXPECT_LE(worst, 0.6);
}

TEST(MarkPathsDegenerate, ZeroWidthsGiveFinitePaths) {
  const Mark hairline = makeMark(MarkTool::arrow, {0, 0}, {100, 0}, 0);
  const geom::Rect b = path(hairline).boundingBox();
  EXPECT_TRUE(std::isfinite(b.width()) && std::isfinite(b.height()));
  EXPECT_NEAR(b.maxX(), 100, 1e-9);
  const Mark dot = makeMark(MarkTool::step, {10, 10}, {10, 10}, 0);
  EXPECT_EQ(bounds(dot), geom::Rect(10, 10, 0, 0));
  Mark narrowText = makeMark(MarkTool::text, {0, 0}, {0, 0});
  narrowText.text = "abc";
  narrowText.textBoxWidth = 0;
  EXPECT_GE(bounds(narrowText).height(), 3 * 24); // one glyph a line, never a NaN
}
