#include "CanvasWindow.h"

#include "canvas/CanvasView.h"
#include "document/CrelError.h"

#include <QPainter>

namespace crel::NativeTests {

CanvasWindow::CanvasWindow(CrelDocument &document, int width, int height) {
  window_.setWindowTitle(QStringLiteral("Crel"));
  window_.setGeometry(0, 0, width, height);
  canvas_ = new CanvasView(document, &window_);
  canvas_->setGeometry(0, 0, width, height);
}

CanvasWindow::~CanvasWindow() { window_.close(); }

void redraw(CanvasView &canvas) {
  QImage bitmap(canvas.size(), QImage::Format_ARGB32_Premultiplied);
  if (bitmap.isNull())
    throw CrelError::rendering();
  QPainter painter(&bitmap);
  if (!painter.isActive())
    throw CrelError::rendering();
  canvas.paintCanvas(painter);
}

} // namespace crel::NativeTests
