#pragma once

#include <QEvent>
#include <QPointF>
#include <QString>

class QWidget;

namespace crel {
class CanvasView;
}

namespace crel::NativeTests {

// Synthetic pointer and keyboard input for a canvas, delivered synchronously
// as Qt events through the canvas's own input handling. Positions are image
// pixels, mapped afresh before every event through the canvas's current image
// rectangle with one scale (its width over the image's) for both axes.
class CanvasEvents {
public:
  explicit CanvasEvents(CanvasView &canvas);

  QPointF viewPoint(QPointF imagePoint) const;

  void down(QPointF p, Qt::KeyboardModifiers modifiers = {});
  void dragged(QPointF p, Qt::KeyboardModifiers modifiers = {});
  void up(QPointF p, Qt::KeyboardModifiers modifiers = {});
  void click(QPointF p, Qt::KeyboardModifiers modifiers = {});
  // The second press of a double click alone, as Qt reports it.
  void doubleClick(QPointF p, Qt::KeyboardModifiers modifiers = {});
  // Down at `from`, exactly one dragged and up at `to`, even when they are equal.
  void drag(QPointF from, QPointF to, Qt::KeyboardModifiers modifiers = {});
  // Down at `p`, dragged through `q` and `r`, up at `r`.
  void drag(QPointF p, QPointF q, QPointF r, Qt::KeyboardModifiers modifiers = {});
  // A press and release of the secondary button.
  void secondaryClick(QPointF p);
  // The pointer moving with no button down, as hover sees it.
  void hover(QPointF p, Qt::KeyboardModifiers modifiers = {});

  // A key press (or release) carrying `text`, sent to `target` (the canvas
  // when none). Answers whether it was taken.
  bool key(int key, const QString &text = {}, Qt::KeyboardModifiers modifiers = {}, QWidget *target = nullptr,
           QEvent::Type type = QEvent::KeyPress);
  // A tool letter as typed: its key with the letter as text.
  bool letter(QChar letter);

private:
  void mouse(QEvent::Type type, QPointF imagePoint, Qt::KeyboardModifiers modifiers, Qt::MouseButton button);

  CanvasView &canvas_;
};

} // namespace crel::NativeTests
