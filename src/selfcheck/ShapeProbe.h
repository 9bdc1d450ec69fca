#pragma once

#include <QPainterPath>

namespace crel::NativeTests {

// How much of the vertical line at `x` lies inside `path` between y = -40 and
// 40: the number of the 321 samples 0.25 apart that the path contains, times 0.25.
double thickness(const QPainterPath &path, double x);

} // namespace crel::NativeTests
