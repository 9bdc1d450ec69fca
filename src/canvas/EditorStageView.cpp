#include "EditorStageView.h"

#include "DeviceScale.h"

#include "platform/AppTheme.h"

#include <QPaintEvent>
#include <QPainter>

#include <QVBoxLayout>
#include <cmath>

namespace crel {

EditorStageView::EditorStageView(QWidget *content, QWidget *parent) : QWidget(parent), content_(content) {
  // The stage covers every pixel; the glows scale with the size, so a
  // resize repaints it whole (Qt's default for widgets without static contents).
  setAttribute(Qt::WA_OpaquePaintEvent);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  if (content)
    layout->addWidget(content);
}

void EditorStageView::paintEvent(QPaintEvent *event) {
  // The glows cost a few milliseconds over a large window and the canvas
  // repaints the stage behind it on every frame of a drag, so the stage is
  // painted once per size and copied after that.
  QPainter painter(this);
  const double dpr = deviceScale(painter);
  const QSize pixels(int(std::ceil(width() * dpr)), int(std::ceil(height() * dpr)));
  if (painted_.size() != pixels || painted_.devicePixelRatio() != dpr) {
    painted_ = QImage(pixels, QImage::Format_RGB32);
    painted_.setDevicePixelRatio(dpr);
    QPainter stage(&painted_);
    stage.setRenderHint(QPainter::Antialiasing);
    AppTheme::drawStage(stage, QRectF(rect()), true);
  }
  const QRect dirty = event->rect();
  painter.drawImage(dirty, painted_, QRectF(QPointF(dirty.topLeft()) * dpr, QSizeF(dirty.size()) * dpr));
}

} // namespace crel
