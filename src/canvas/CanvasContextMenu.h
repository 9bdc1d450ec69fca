#pragma once

#include "CanvasInputHooks.h"

#include <QMenu>
#include <QPointF>

#include <memory>

namespace crel {

class CanvasView;

// The menu of a secondary click on the canvas: the colour of the pixel under
// the pointer, the editor window's size choices and, with a selection, the
// mark commands. Each command calls one document operation.
namespace CanvasContextMenu {

// Built afresh for each click at `viewPoint`; none over the floating chrome.
std::unique_ptr<QMenu> build(CanvasView &canvas, QPointF viewPoint, const CanvasInputHooks &hooks);

// The colour item's action: copies the colour the item carries.
void copyPixelColor(const QAction &item, const std::function<void(const PixelColor &)> &copy);

} // namespace CanvasContextMenu

} // namespace crel
