#include "platform/base/Geometry.h"

#include <gtest/gtest.h>

#include <cmath>

using crel::geom::Rect;

TEST(Rect, NullIsTheIdentityOfUnionAndNeverContains) {
  const Rect null;
  EXPECT_TRUE(null.isNull());
  EXPECT_TRUE(null.isEmpty());
  EXPECT_FALSE(null.contains(QPointF(0, 0)));
  EXPECT_EQ(null.united(Rect(1, 2, 3, 4)), Rect(1, 2, 3, 4));
  EXPECT_EQ(Rect(1, 2, 3, 4).united(null), Rect(1, 2, 3, 4));
  EXPECT_TRUE(null.united(null).isNull());
  EXPECT_TRUE(null.intersected(Rect(0, 0, 10, 10)).isNull());
  EXPECT_TRUE(null.applying(QTransform().rotate(30)).isNull());
  EXPECT_TRUE(null.integral().isNull());
  // A null rect's centre is not finite, which callers rely on to skip rotation.
  EXPECT_FALSE(std::isfinite(null.midX()));
  EXPECT_NE(null, Rect(0, 0, 0, 0));
}

TEST(Rect, UnionKeepsZeroSizeRects) {
  // Unlike QRectF::united, a 0x0 rect still extends the union.
  EXPECT_EQ(Rect(0, 0, 10, 10).united(Rect(20, 30, 0, 0)), Rect(0, 0, 20, 30));
  EXPECT_EQ(Rect(5, 5, 0, 0).united(Rect(5, 5, 0, 0)), Rect(5, 5, 0, 0));
  EXPECT_FALSE(Rect(5, 5, 0, 0).isNull());
  EXPECT_TRUE(Rect(5, 5, 0, 0).isEmpty());
}

TEST(Rect, ContainmentIsHalfOpen) {
  const Rect r(0, 0, 10, 20);
  EXPECT_TRUE(r.contains(QPointF(0, 0)));
  EXPECT_TRUE(r.contains(QPointF(9.999, 19.999)));
  EXPECT_FALSE(r.contains(QPointF(10, 5)));
  EXPECT_FALSE(r.contains(QPointF(5, 20)));
  EXPECT_FALSE(Rect(3, 3, 0, 0).contains(QPointF(3, 3)));
  // Negative sizes are read standardized.
  EXPECT_TRUE(Rect(10, 20, -10, -20).contains(QPointF(0, 0)));
  EXPECT_FALSE(Rect(10, 20, -10, -20).contains(QPointF(10, 20)));
}

TEST(Rect, IntersectionAndIntegral) {
  EXPECT_EQ(Rect(0, 0, 10, 10).intersected(Rect(5, 5, 10, 10)), Rect(5, 5, 5, 5));
  EXPECT_TRUE(Rect(0, 0, 10, 10).intersected(Rect(11, 0, 5, 5)).isNull());
  // Touching edges give an empty rect: not null, but no intersection.
  EXPECT_EQ(Rect(0, 0, 10, 10).intersected(Rect(10, 0, 5, 5)), Rect(10, 0, 0, 5));
  EXPECT_FALSE(Rect(0, 0, 10, 10).intersects(Rect(10, 0, 5, 5)));
  EXPECT_TRUE(Rect(0, 0, 10, 10).intersects(Rect(9.5, 0, 5, 5)));
  EXPECT_EQ(Rect(0.5, -0.5, 2, 1).integral(), Rect(0, -1, 3, 2));
  EXPECT_EQ(Rect(1, 1, 4, 4).insetBy(-2, -1), Rect(-1, 0, 8, 6));
  EXPECT_TRUE(Rect(1, 1, 4, 4).insetBy(3, 0).isNull());
}

TEST(Rect, TransformedBoundingBox) {
  const Rect r = Rect(-1, -1, 2, 2).applying(QTransform().rotate(45));
  EXPECT_NEAR(r.width(), 2 * std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(r.midX(), 0, 1e-12);
}

TEST(Rect, EqualityIsExact) {
  const double tiny = std::nextafter(1.0, 2.0);
  EXPECT_NE(Rect(1, 0, 1, 1), Rect(tiny, 0, 1, 1));
  EXPECT_FALSE(crel::geom::exactlyEqual(QPointF(1, 0), QPointF(tiny, 0)));
  EXPECT_TRUE(QPointF(1, 0) == QPointF(tiny, 0)); // why Qt's == is not used
  const double nan = std::nan("");
  EXPECT_NE(Rect(nan, 0, 1, 1), Rect(nan, 0, 1, 1));
}
