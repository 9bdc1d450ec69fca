#pragma once

#include "capture/CaptureSnapshot.h"

#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

namespace crel::test {

// 800 × 600 pixels: green top left, red top right, blue bottom left, yellow
// bottom right.
inline QImage quadrantImage() {
  QImage image(800, 600, QImage::Format_RGB32);
  QPainter p(&image);
  p.fillRect(0, 0, 400, 300, QColor(0, 255, 0));
  p.fillRect(400, 0, 400, 300, QColor(255, 0, 0));
  p.fillRect(0, 300, 400, 300, QColor(0, 0, 255));
  p.fillRect(400, 300, 400, 300, QColor(255, 255, 0));
  return image;
}

// A 2× display left of and above the origin.
inline CaptureSnapshot primarySnapshot() { return {42, geom::Rect(-500, -500, 400, 300), quadrantImage()}; }
// A 1× display below the origin.
inline CaptureSnapshot secondarySnapshot() { return {43, geom::Rect(0, 1080, 800, 600), quadrantImage()}; }

inline void sendMouse(QWidget *view, QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::LeftButton) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent event(type, at, view->mapToGlobal(at), button, held, Qt::NoModifier);
  QCoreApplication::sendEvent(view, &event);
}

inline void drag(QWidget *view, QPointF from, QPointF to) {
  sendMouse(view, QEvent::MouseButtonPress, from);
  sendMouse(view, QEvent::MouseMove, to);
  sendMouse(view, QEvent::MouseButtonRelease, to);
}

inline void pressKey(QWidget *view, int key) {
  QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(view, &event);
}

} // namespace crel::test
