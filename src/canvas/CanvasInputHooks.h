#pragma once

#include "document/Mark.h"
#include "document/PixelColor.h"

#include <QMenu>
#include <QPointF>

#include <functional>
#include <memory>
#include <optional>

namespace crel {

// Where canvas input hands over to the parts that live beside it: word
// gestures on recognised text, the inline text editor, the pixel-colour
// readout and the editor window's size menu. Every hook may be empty; the
// input then does what it would do with nothing on the other side.
struct CanvasInputHooks {
  // One step of a word gesture, with the pointer in image pixels; sets the
  // document's selected words and the canvas's draft.
  std::function<void(QPointF point)> updateTextGesture;
  // Opens the inline editor on a new text mark at `point` (image pixels), or
  // on `editing`. The editor marks itself open through the canvas's
  // editingTextID.
  std::function<void(QPointF point, const std::optional<Mark> &editing)> addText;
  // The colour readout: hide it, follow the pointer (view points) again, and
  // copy a colour to the pasteboard.
  std::function<void()> hideColorInspection;
  std::function<void(QPointF viewPoint)> inspectColor;
  std::function<void(const PixelColor &color)> copyColor;
  // The editor window's size choices, the base of the context menu.
  std::function<std::unique_ptr<QMenu>()> windowSizeMenu;
};

} // namespace crel
