#include "CanvasEvents.h"

#include "canvas/CanvasView.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace crel::NativeTests {

CanvasEvents::CanvasEvents(CanvasView &canvas) : canvas_(canvas) {}

QPointF CanvasEvents::viewPoint(QPointF p) const {
  const geom::Rect rect = canvas_.imageRect();
  const double s = rect.width() / canvas_.document()->pixelSize().width();
  return {rect.minX() + p.x() * s, rect.minY() + p.y() * s};
}

void CanvasEvents::mouse(QEvent::Type type, QPointF imagePoint, Qt::KeyboardModifiers modifiers,
                         Qt::MouseButton button) {
  const QPointF local = viewPoint(imagePoint);
  const Qt::MouseButton changed = type == QEvent::MouseMove ? Qt::NoButton : button;
  Qt::MouseButtons held = Qt::NoButton;
  if (type == QEvent::MouseMove || type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
    held = button;
  QMouseEvent event(type, local, canvas_.mapToGlobal(local), changed, held, modifiers);
  QCoreApplication::sendEvent(&canvas_, &event);
}

void CanvasEvents::down(QPointF p, Qt::KeyboardModifiers m) { mouse(QEvent::MouseButtonPress, p, m, Qt::LeftButton); }
void CanvasEvents::dragged(QPointF p, Qt::KeyboardModifiers m) { mouse(QEvent::MouseMove, p, m, Qt::LeftButton); }
void CanvasEvents::up(QPointF p, Qt::KeyboardModifiers m) { mouse(QEvent::MouseButtonRelease, p, m, Qt::LeftButton); }

void CanvasEvents::click(QPointF p, Qt::KeyboardModifiers m) {
  down(p, m);
  up(p, m);
}

void CanvasEvents::doubleClick(QPointF p, Qt::KeyboardModifiers m) {
  mouse(QEvent::MouseButtonDblClick, p, m, Qt::LeftButton);
}

void CanvasEvents::drag(QPointF from, QPointF to, Qt::KeyboardModifiers m) {
  down(from, m);
  dragged(to, m);
  up(to, m);
}

void CanvasEvents::drag(QPointF p, QPointF q, QPointF r, Qt::KeyboardModifiers m) {
  down(p, m);
  dragged(q, m);
  dragged(r, m);
  up(r, m);
}

void CanvasEvents::secondaryClick(QPointF p) {
  mouse(QEvent::MouseButtonPress, p, {}, Qt::RightButton);
  mouse(QEvent::MouseButtonRelease, p, {}, Qt::RightButton);
}

void CanvasEvents::hover(QPointF p, Qt::KeyboardModifiers m) { mouse(QEvent::MouseMove, p, m, Qt::NoButton); }

bool CanvasEvents::key(int key, const QString &text, Qt::KeyboardModifiers modifiers, QWidget *target,
                       QEvent::Type type) {
  QKeyEvent event(type, key, modifiers, text);
  event.ignore();
  QCoreApplication::sendEvent(target ? target : &canvas_, &event);
  return event.isAccepted();
}

bool CanvasEvents::letter(QChar c) { return key(Qt::Key_A + (c.toLower().unicode() - 'a'), QString(c)); }

} // namespace crel::NativeTests
