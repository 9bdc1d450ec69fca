#pragma once

#include "CanvasGesture.h"

#include <functional>
#include <optional>

namespace crel {

class CanvasView;

// Chooses recognised words by dragging across them. The choosing itself is
// `step` (empty: nothing is chosen); at the release the canvas's word
// handler keeps the mark that covers the words or explains why there is none.
class WordGesture : public CanvasGesture {
public:
  WordGesture(CanvasView &canvas, std::function<void(QPointF)> step);

  void update(const GestureInput &input) override;
  void release() override;

private:
  CanvasView &canvas_;
  std::function<void(QPointF)> step_;
  std::optional<QPointF> last_;
};

} // namespace crel
