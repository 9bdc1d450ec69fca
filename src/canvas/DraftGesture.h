#pragma once

#include "CanvasGesture.h"

#include "document/Mark.h"

namespace crel {

class CanvasView;
class CrelDocument;

// Draws a new mark with a drawing tool: the canvas's draft follows the
// pointer and is appended to the document at the release when it is big
// enough to mean something.
class DraftGesture : public CanvasGesture {
public:
  // Starts the canvas's draft at `point` with the document's current tool.
  DraftGesture(CanvasView &canvas, QPointF point);

  void update(const GestureInput &input) override;
  void release() override;

  // The mark a press at `point` starts, from the document's tool and style.
  static Mark newMark(const CrelDocument &document, QPointF point);
  // `draft` with its end (and freehand points) at the pointer, Shift constraining it.
  static Mark shaped(const Mark &draft, const GestureInput &input);
  // A click adds nothing, except a step or a mark that covers words.
  static bool kept(const Mark &draft);
  // Appends the canvas's draft when it is kept and selects it, keeping the tool.
  static void commitKept(CanvasView &canvas);

  static constexpr double newFontSize = 40;
  static constexpr double newTextBoxWidth = 320;

private:
  CanvasView &canvas_;
};

} // namespace crel
