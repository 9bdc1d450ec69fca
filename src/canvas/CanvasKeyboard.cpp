#include "CanvasKeyboard.h"

#include "CanvasInteraction.h"
#include "CanvasView.h"
#include "GestureGeometry.h"

#include "document/CrelDocument.h"
#include "document/MarkGeometry.h"
#include "platform/files/RawValue.h"

#include <algorithm>

namespace crel {

namespace {

bool isArrow(int key) {
  return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

// The tool whose letter the key carries. The key code follows the keyboard
// layout and ignores Shift, so R and r both choose the rectangle.
std::optional<MarkTool> toolFor(int key) {
  if (key < Qt::Key_A || key > Qt::Key_Z)
    return std::nullopt;
  const QString letter = QString(QChar(key)).toLower();
  for (MarkTool tool : allCases<MarkTool>()) {
    if (shortcut(tool) == letter)
      return tool;
  }
  return std::nullopt;
}

} // namespace

CanvasKeyboard::CanvasKeyboard(CanvasInteraction &interaction) : interaction_(interaction) {}

std::optional<CanvasKeyboard::Action> CanvasKeyboard::action(const QKeyEvent &event) const {
  const CrelDocument *document = interaction_.canvas().document();
  if (!document)
    return std::nullopt;
  const int key = event.key();
  const Qt::KeyboardModifiers mods = event.modifiers();
  const bool command = mods & Qt::ControlModifier;
  if (key == Qt::Key_Space)
    return Action::pan;
  if (key == Qt::Key_Escape)
    return Action::cancel;
  if ((key == Qt::Key_BracketLeft || key == Qt::Key_BracketRight) && !command)
    return Action::changeWidth;
  if (key == Qt::Key_Backspace || key == Qt::Key_Delete)
    return Action::remove;
  if (document->selection() && (mods & Qt::AltModifier) && (key == Qt::Key_Left || key == Qt::Key_Right))
    return Action::rotate;
  if (document->selectedMark() && isArrow(key))
    return Action::nudge;
  if (!command && toolFor(key))
    return Action::chooseTool;
  return std::nullopt;
}

bool CanvasKeyboard::keyPress(const QKeyEvent &event) {
  const std::optional<Action> todo = action(event);
  if (!todo)
    return false;
  CrelDocument &document = *interaction_.canvas().document();
  const int key = event.key();
  switch (*todo) {
  case Action::pan: interaction_.setSpaceHeld(true); break;
  case Action::cancel: interaction_.cancel(); break;
  case Action::changeWidth: {
    const double step = key == Qt::Key_BracketLeft ? -widthStep : widthStep;
    if (document.activeTool() == MarkTool::blur)
      document.setBlur(std::nullopt, document.blurStrength() + step);
    else
      document.setStroke(std::max(std::min(document.stroke() + step, maxWidth), minWidth));
    break;
  }
  case Action::remove: document.deleteSelection(); break;
  case Action::rotate:
    document.rotateSelection(key == Qt::Key_Left ? -GestureGeometry::rotationStep : GestureGeometry::rotationStep);
    break;
  case Action::nudge: {
    // Every press, auto-repeats included, is its own commit and undo step.
    const double step = event.modifiers() & Qt::ShiftModifier ? 10 : 1;
    const double dx = key == Qt::Key_Left ? -step : key == Qt::Key_Right ? step : 0;
    const double dy = key == Qt::Key_Up ? -step : key == Qt::Key_Down ? step : 0;
    const QUuid id = document.selectedMark()->id;
    QList<Mark> marks = document.marks();
    for (Mark &m : marks) {
      if (m.id == id) {
        m = moved(m, dx, dy);
        break;
      }
    }
    document.commit(marks);
    break;
  }
  case Action::chooseTool: document.selectTool(*toolFor(key)); break;
  }
  return true;
}

bool CanvasKeyboard::keyRelease(const QKeyEvent &event) {
  if (event.key() != Qt::Key_Space)
    return false;
  // X11 sends a release before every auto-repeated press; only the real one ends panning.
  if (!event.isAutoRepeat())
    interaction_.setSpaceHeld(false);
  return true;
}

} // namespace crel
