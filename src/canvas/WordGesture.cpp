#include "WordGesture.h"

#include "CanvasView.h"
#include "WordGestures.h"

namespace crel {

WordGesture::WordGesture(CanvasView &canvas, std::function<void(QPointF)> step)
    : canvas_(canvas), step_(std::move(step)) {}

void WordGesture::update(const GestureInput &input) {
  last_ = input.point;
  if (step_)
    step_(input.point);
}

void WordGesture::release() {
  if (last_)
    canvas_.wordGestures().release(*last_);
}

} // namespace crel
