#include "canvas/CanvasLayout.h"

#include <gtest/gtest.h>

using namespace crel;

namespace {

const geom::Rect view1000(0, 0, 1000, 600);

TEST(CanvasLayout, MarginFollowsTheShorterSideWithinItsLimits) {
  EXPECT_EQ(CanvasLayout::margin({1000, 600}), 30);
  EXPECT_EQ(CanvasLayout::margin({200, 200}), 16);
  EXPECT_EQ(CanvasLayout::margin({2000, 1200}), 36);
}

TEST(CanvasLayout, ChromeSplitsByVerticalCentreAndATieCountsAsBottom) {
  const geom::Rect topBar(100, 0, 300, 50), lowerTopBar(500, 10, 100, 60);
  const geom::Rect bottomBar(100, 540, 300, 60);
  EXPECT_EQ(CanvasLayout::fitArea(view1000, {topBar, lowerTopBar, bottomBar}),
            geom::Rect(30, 70 + 22.5, 940, (540 - 70) - 45));
  // midY 300 == bounds.midY: bottom chrome, so it limits the bottom edge.
  const geom::Rect tie(0, 250, 50, 100);
  EXPECT_EQ(CanvasLayout::fitArea(view1000, {tie}), geom::Rect(30, 22.5, 940, 250 - 45));
}

TEST(CanvasLayout, CrowdedChromeFallsBackToTheInsetBounds) {
  // 80 points left between the bars: not enough, the chrome is ignored.
  const geom::Rect top(0, 0, 1000, 250), bottom(0, 250 + 80 + 45, 1000, 10);
  EXPECT_EQ(CanvasLayout::fitArea(view1000, {top, bottom}), geom::Rect(30, 30, 940, 540));
  // 81 points is enough.
  const geom::Rect bottom81(0, 250 + 81 + 45, 1000, 10);
  EXPECT_EQ(CanvasLayout::fitArea(view1000, {top, bottom81}).height(), 81);
  // Bars overlapping each other leave a negative height: no room either.
  const geom::Rect overlapTop(0, 0, 1000, 280), overlapBottom(0, 100, 1000, 420);
  EXPECT_EQ(CanvasLayout::fitArea(view1000, {overlapTop, overlapBottom}), geom::Rect(30, 30, 940, 540));
}

TEST(CanvasLayout, TinyViewFitsIntoItsCentreInsteadOfInfinity) {
  const geom::Rect fit = CanvasLayout::fitArea(geom::Rect(0, 0, 20, 10), {});
  EXPECT_EQ(fit, geom::Rect(10, 5, 0, 0));
  const geom::Rect image = CanvasLayout::imageRect(fit, geom::Rect(0, 0, 100, 100), {100, 100}, 1, {0, 0});
  EXPECT_TRUE(std::isfinite(image.minX()) && std::isfinite(image.minY()));
  EXPECT_DOUBLE_EQ(image.width(), 0.1); // the scale never falls below 0.001
}

TEST(CanvasLayout, ImageIsCentredInTheFitAreaAndShiftedByGrownCanvas) {
  const geom::Rect fit(0, 0, 1000, 500);
  // 2000x500 image: width-limited, s = 0.5, centred vertically.
  EXPECT_EQ(CanvasLayout::imageRect(fit, geom::Rect(0, 0, 2000, 500), {2000, 500}, 1, {0, 0}),
            geom::Rect(0, 125, 1000, 250));
  // A canvas grown 500 px to the left: the image shifts right and shrinks.
  const geom::Rect grown(-500, 0, 2500, 500);
  EXPECT_EQ(CanvasLayout::imageRect(fit, grown, {2000, 500}, 1, {0, 0}), geom::Rect(200, 150, 800, 200));
  // Zoom scales about the fit area's centre; pan shifts.
  EXPECT_EQ(CanvasLayout::imageRect(fit, geom::Rect(0, 0, 2000, 500), {2000, 500}, 2, {10, -20}),
            geom::Rect(-500 + 10, 0 - 20, 2000, 500));
}

} // namespace
