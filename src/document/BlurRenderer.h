#pragma once

#include "BlurCache.h"
#include "Mark.h"

#include "platform/base/Geometry.h"

#include <functional>

class QPainter;

namespace crel {

// Paints blur and pixelate marks: a filtered copy of everything beneath the
// mark, clipped to its (rotated) regions, kept in a cache keyed by the marks
// that produced it. Failures paint black in the mark's shape, never the
// unfiltered pixels. Main thread only.
class BlurRenderer {
public:
  // Paints what lies beneath the mark over a canvas rectangle into the painter.
  using DrawUnderlying = std::function<void(QPainter &, const geom::Rect &)>;

  // `preceding` are the marks beneath `mark`, lowest first; they key the cache.
  void draw(QPainter &painter, const Mark &mark, const QList<Mark> &preceding, const DrawUnderlying &underlying);

  // Which of `marks` (lowest first) `painter` would not show: those outside
  // its clip, and those a blur above replaces whole (only unrotated
  // one-rectangle blurs under a painter that scales and moves are relied
  // on). They need not be drawn, nor their patches filtered.
  static QList<bool> hiddenMarks(const QPainter &painter, const QList<Mark> &marks);

  BlurCache &cache() { return cache_; }

private:
  BlurCache cache_;
};

} // namespace crel
