#include "acceptance/Fixture.h"

#include <gtest/gtest.h>

namespace crel::acceptance {
namespace {

// The run and the fixture compute the rectangle apart; both must land on
// the primary screen's centre, whatever its size and place.
TEST(CaptureRect, IsFourHundredByTwoSixtyCentredOnThePrimaryScreen) {
  struct Case {
    QRect primary;
    QRect expected;
  };
  const Case cases[] = {
      {{0, 0, 1920, 1080}, {760, 410, 400, 260}},       {{0, 0, 960, 600}, {280, 170, 400, 260}},
      {{1440, 0, 1920, 1080}, {2200, 410, 400, 260}}, // primary right of another monitor
      {{-1280, -200, 1280, 800}, {-840, 70, 400, 260}}, {{0, 0, 401, 261}, {0, 0, 400, 260}},
  };
  for (const Case &c : cases) {
    const QRect rect = captureRect(c.primary);
    EXPECT_EQ(rect, c.expected) << c.primary.x() << "," << c.primary.y();
    EXPECT_TRUE(c.primary.contains(rect));
  }
}

} // namespace
} // namespace crel::acceptance
