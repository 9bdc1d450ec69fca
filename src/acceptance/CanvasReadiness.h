#pragma once

#include "AcceptanceWait.h"

#include <QRect>

#include <optional>

class QWidget;

namespace crel {
class CanvasView;
}

namespace crel::acceptance {

class WindowServer;

// What one evaluation of the canvas readiness sees. Rectangles are in one
// unit: logical global coordinates of the client area.
struct ReadinessFacts {
  QRect frame;                       // the window's client geometry as Qt has it
  std::optional<QRect> serverBounds; // the X server's, absent when unknown
  bool active = false;               // the application's active window is this one
  bool frontmost = false;            // _NET_ACTIVE_WINDOW names this process
  bool exposed = false;
  int contentWidth = 0;
  std::optional<QSize> canvas; // absent when the window holds no canvas
};

// Decides readiness over successive evaluations of one wait: placed where
// the server has it, at the same frame in two evaluations in a row, active,
// frontmost, exposed, and laid out wide and tall enough.
class ReadinessTracker {
public:
  bool evaluate(const ReadinessFacts &facts);

private:
  std::optional<QRect> remembered_;
};

// Brings the window front and waits until its canvas is ready for pointer
// input ("Editor canvas did not become ready for pointer input"), then
// gives the canvas focus and returns it ("Editor canvas disappeared after
// layout" when it is gone by then).
CanvasView &readyCanvas(QWidget &window, WindowServer &server, const Sleep &sleep = EventPump::sleep);

} // namespace crel::acceptance
