#include "CanvasInteraction.h"

#include "CanvasContextMenu.h"
#include "CanvasView.h"
#include "DraftGesture.h"
#include "MarkEditGesture.h"
#include "WordGesture.h"
#include "WordGestures.h"

#include "document/CrelDocument.h"
#include "document/MarkGeometry.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cmath>

namespace crel {

namespace {

constexpr Qt::KeyboardModifiers commandOptionControl = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

double distance(QPointF a, QPointF b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }

// The modifier a key stands for. On X11 the event of a modifier key carries
// the state from before it, so the key itself is added or removed here.
std::optional<Qt::KeyboardModifier> modifierKey(int key) {
  switch (key) {
  case Qt::Key_Shift: return Qt::ShiftModifier;
  case Qt::Key_Control: return Qt::ControlModifier;
  case Qt::Key_Alt: return Qt::AltModifier;
  case Qt::Key_Meta:
  case Qt::Key_Super_L:
  case Qt::Key_Super_R: return Qt::MetaModifier;
  default: return std::nullopt;
  }
}

} // namespace

CanvasInteraction::CanvasInteraction(CanvasView &canvas) : canvas_(canvas), keyboard_(*this) {
  canvas.installEventFilter(this);
}

CanvasInteraction::~CanvasInteraction() = default;

bool CanvasInteraction::isWordTool(const CrelDocument &document) { return WordGestures::isWordTool(document); }

void CanvasInteraction::setSpaceHeld(bool held) {
  spaceHeld_ = held;
  canvas_.setCursor(held ? Qt::OpenHandCursor : Qt::ArrowCursor);
}

std::unique_ptr<QMenu> CanvasInteraction::contextMenu(QPointF viewPoint) {
  return CanvasContextMenu::build(canvas_, viewPoint, hooks_);
}

// ---- events

bool CanvasInteraction::eventFilter(QObject *watched, QEvent *event) {
  if (watched != &canvas_ || !canvas_.document())
    return false;
  switch (event->type()) {
  case QEvent::MouseButtonPress:
  case QEvent::MouseButtonDblClick:
  case QEvent::MouseMove:
  case QEvent::MouseButtonRelease: return mouseEvent(static_cast<QMouseEvent &>(*event));
  case QEvent::KeyPress:
  case QEvent::KeyRelease: return keyEvent(static_cast<QKeyEvent &>(*event));
  case QEvent::Leave: canvas_.hoverEnded(); return false;
  case QEvent::ShortcutOverride:
    // The canvas has the first say over the keys it uses.
    if (keyboard_.action(static_cast<QKeyEvent &>(*event))) {
      event->accept();
      return true;
    }
    return false;
  case QEvent::ContextMenu: {
    auto &menuEvent = static_cast<QContextMenuEvent &>(*event);
    if (std::unique_ptr<QMenu> menu = contextMenu(menuEvent.pos())) {
      menu->setAttribute(Qt::WA_DeleteOnClose);
      menu.release()->popup(menuEvent.globalPos());
    }
    event->accept();
    return true;
  }
  default: return false;
  }
}

bool CanvasInteraction::mouseEvent(QMouseEvent &event) {
  const QPointF v = event.position();
  switch (event.type()) {
  case QEvent::MouseButtonPress:
  case QEvent::MouseButtonDblClick:
    // Other buttons go on; the right one opens the context menu.
    if (event.button() != Qt::LeftButton)
      return false;
    press(v, event.modifiers(), event.type() == QEvent::MouseButtonDblClick ? 2 : 1);
    break;
  case QEvent::MouseMove:
    // Without the button down the pointer hovers: words, cursor and colour
    // follow it, but only in the active window.
    if (!(event.buttons() & Qt::LeftButton)) {
      if (canvas_.isActiveWindow())
        canvas_.hoverAt(v, spaceHeld_);
      return false;
    }
    drag(v, event.modifiers());
    break;
  case QEvent::MouseButtonRelease:
    if (event.button() != Qt::LeftButton)
      return false;
    release(v, event.modifiers());
    break;
  default: return false;
  }
  event.accept();
  return true;
}

bool CanvasInteraction::keyEvent(QKeyEvent &event) {
  const bool down = event.type() == QEvent::KeyPress;
  if (const std::optional<Qt::KeyboardModifier> flag = modifierKey(event.key())) {
    const Qt::KeyboardModifiers modifiers = down ? event.modifiers() | *flag : event.modifiers() & ~*flag;
    if (canvas_.anchor())
      updateGesture(modifiers);
    event.accept();
    return true;
  }
  const bool used = down ? keyboard_.keyPress(event) : keyboard_.keyRelease(event);
  if (used)
    event.accept();
  return used;
}

// ---- gesture

void CanvasInteraction::press(QPointF v, Qt::KeyboardModifiers modifiers, int clickCount) {
  CrelDocument &document = *canvas_.document();
  // The floating bars own their clicks.
  for (const geom::Rect &frame : canvas_.chromeFrames())
    if (frame.contains(v))
      return;
  canvas_.finishText(false);
  canvas_.setFocus(Qt::MouseFocusReason);
  if (!geom::Rect(0, 0, canvas_.width(), canvas_.height()).contains(v))
    return;
  if (hooks_.hideColorInspection)
    hooks_.hideColorInspection();

  if ((modifiers & commandOptionControl) == Qt::AltModifier && !spaceHeld_) {
    copyingColor_ = true;
    if (const std::optional<PixelColor> color = document.pixelColor(canvas_.point(v)); color && hooks_.copyColor)
      hooks_.copyColor(*color);
    return;
  }
  if (spaceHeld_) {
    panAnchor_ = v;
    panStart_ = document.pan();
    return;
  }

  const bool command = modifiers & Qt::ControlModifier;
  temporaryTool_.reset();
  if (command && document.tool() != MarkTool::select) {
    temporaryTool_ = document.tool();
    document.setSelection(std::nullopt);
  }

  const QPointF p = canvas_.point(v);
  canvas_.beginGesture(p);
  rawPoint_ = p;
  rawPoints_ = {p};
  canvas_.setResizingHandle(std::nullopt);
  canvas_.setHoverWord(std::nullopt);
  // A release lost to a popup's grab must not leave the last gesture's copies behind.
  gesture_.reset();
  canvas_.setDraft(std::nullopt);
  canvas_.setMoving(std::nullopt);

  textGesture_ = !temporaryTool_ && isWordTool(document);
  if (textGesture_) {
    document.setSelection(std::nullopt);
    gesture_ = std::make_unique<WordGesture>(canvas_, hooks_.updateTextGesture);
    gesture_->update({p, p, rawPoints_, bool(modifiers & Qt::ShiftModifier)});
    canvas_.update();
    return;
  }

  if (document.tool() != MarkTool::select && !command) {
    if (document.tool() == MarkTool::text) {
      openText(p, std::nullopt);
    } else {
      document.setSelection(std::nullopt);
      gesture_ = std::make_unique<DraftGesture>(canvas_, p);
    }
    canvas_.update();
    return;
  }
  pressSelect(p, clickCount);
  canvas_.update();
}

void CanvasInteraction::pressSelect(QPointF p, int clickCount) {
  CrelDocument &document = *canvas_.document();
  const double s = canvas_.scale();
  if (const Mark *selected = document.selectedMark()) {
    const Mark mark = *selected;
    for (const MarkHandlePoint &handle : selectionHandles(mark, s)) {
      if (distance(handle.point, p) <= handleRadius / s) {
        gesture_ = std::make_unique<MarkEditGesture>(canvas_, mark, handle.handle, !temporaryTool_);
        return;
      }
    }
  }
  const QList<Mark> &marks = document.marks();
  for (qsizetype i = marks.size() - 1; i >= 0; --i) {
    if (!hitTest(marks[i], p, hitTolerance / s))
      continue;
    const Mark mark = marks[i];
    if (!temporaryTool_)
      document.selectMark(mark, false);
    if (mark.tool == MarkTool::text && clickCount == 2)
      openText(mark.start, mark);
    else
      gesture_ = std::make_unique<MarkEditGesture>(canvas_, mark, std::nullopt, !temporaryTool_);
    return;
  }
  document.setSelection(std::nullopt);
}

void CanvasInteraction::openText(QPointF p, const std::optional<Mark> &editing) {
  if (!hooks_.addText)
    return;
  hooks_.addText(p, editing);
  // The open editor takes over; the image stays where it is until it closes.
  if (canvas_.editingTextID())
    canvas_.endGesture(true);
}

void CanvasInteraction::drag(QPointF v, Qt::KeyboardModifiers modifiers) {
  if (copyingColor_)
    return;
  if (panAnchor_) {
    canvas_.document()->setPan(
        {panStart_.width() + v.x() - panAnchor_->x(), panStart_.height() + v.y() - panAnchor_->y()});
    canvas_.update();
    return;
  }
  if (!canvas_.anchor())
    return;
  const QPointF p = canvas_.point(v);
  rawPoint_ = p;
  if (!rawPoints_.isEmpty() && distance(rawPoints_.last(), p) >= sampleSpacing / canvas_.scale())
    rawPoints_.append(p);
  updateGesture(modifiers);
}

void CanvasInteraction::updateGesture(Qt::KeyboardModifiers modifiers) {
  const std::optional<QPointF> anchor = canvas_.anchor();
  if (!rawPoint_ || !anchor)
    return;
  if (gesture_)
    gesture_->update({*anchor, *rawPoint_, rawPoints_, bool(modifiers & Qt::ShiftModifier)});
  canvas_.update();
}

void CanvasInteraction::release(QPointF v, Qt::KeyboardModifiers modifiers) {
  if (copyingColor_) {
    copyingColor_ = false;
    return;
  }
  if (panAnchor_) {
    panAnchor_.reset();
    return;
  }
  if (canvas_.anchor()) {
    rawPoint_ = canvas_.point(v);
    updateGesture(modifiers);
  }
  // Escape leaves no gesture to end.
  if (std::unique_ptr<CanvasGesture> gesture = std::move(gesture_))
    gesture->release();

  temporaryTool_.reset();
  canvas_.setDraft(std::nullopt);
  canvas_.setMoving(std::nullopt);
  canvas_.setResizingHandle(std::nullopt);
  rawPoint_.reset();
  rawPoints_.clear();
  textGesture_ = false;
  canvas_.endGesture(canvas_.editingTextID().has_value());
  if (hooks_.inspectColor)
    hooks_.inspectColor(v);
}

void CanvasInteraction::cancel() {
  CrelDocument *document = canvas_.document();
  if (!document)
    return;
  document->setSelectedWords({});
  gesture_.reset();
  textGesture_ = false;
  rawPoints_.clear();
  rawPoint_.reset();
  canvas_.setDraft(std::nullopt);
  canvas_.setMoving(std::nullopt);
  canvas_.setResizingHandle(std::nullopt);
  canvas_.endGesture();
  document->setSelection(std::nullopt);
  canvas_.update();
}

} // namespace crel
