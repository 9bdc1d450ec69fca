#include "CanvasWindow.h"

#include "canvas/CanvasView.h"

namespace crel::NativeTests {

CanvasWindow::CanvasWindow(CrelDocument &document, int width, int height) {
  window_.setWindowTitle(QStringLiteral("Crel"));
  window_.setGeometry(0, 0, width, height);
  canvas_ = new CanvasView(document, &window_);
  canvas_->setGeometry(0, 0, width, height);
}

CanvasWindow::~CanvasWindow() { window_.close(); }

} // namespace crel::NativeTests
