#pragma once

#include <QList>
#include <QPointF>

namespace crel {

// The pointer as one gesture sees it, in image pixels.
struct GestureInput {
  QPointF anchor;         // the press
  QPointF point;          // the pointer now
  QList<QPointF> samples; // the pointer's path, press first (shared, not copied)
  bool shift = false;
};

// One kind of press-drag-release on the canvas. While the button is down it
// edits only the canvas's own copies (draft, moving); its release reaches
// the document at most once.
class CanvasGesture {
public:
  virtual ~CanvasGesture() = default;
  // Shapes the copies afresh from the press; never commits.
  virtual void update(const GestureInput &input) = 0;
  virtual void release() = 0;
};

} // namespace crel
