#pragma once

#include <QWidget>

namespace crel {
class CanvasView;
class CrelDocument;
} // namespace crel

namespace crel::NativeTests {

// A titled window that is never shown, whose only content is a canvas on
// `document` filling it. Geometry is set by hand: no layout runs while hidden.
class CanvasWindow {
public:
  CanvasWindow(CrelDocument &document, int width, int height);
  ~CanvasWindow();
  CanvasWindow(const CanvasWindow &) = delete;
  CanvasWindow &operator=(const CanvasWindow &) = delete;

  QWidget &window() { return window_; }
  CanvasView &canvas() { return *canvas_; }

private:
  QWidget window_;
  CanvasView *canvas_;
};

// Draws the whole canvas once off screen, as a repaint between events would;
// throws the rendering error when there is nothing to draw into.
void redraw(CanvasView &canvas);

} // namespace crel::NativeTests
