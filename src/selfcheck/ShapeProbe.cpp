#include "ShapeProbe.h"

namespace crel::NativeTests {

double thickness(const QPainterPath &path, double x) {
  int inside = 0;
  for (int i = 0; i <= 320; ++i)
    if (path.contains(QPointF(x, -40 + i * 0.25)))
      ++inside;
  return inside * 0.25;
}

} // namespace crel::NativeTests
