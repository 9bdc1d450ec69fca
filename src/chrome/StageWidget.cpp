#include "StageWidget.h"

#include "ShadowCaster.h"

#include "platform/desktop/AppTheme.h"

#include <QPainter>

namespace crel {

StageWidget::StageWidget(QWidget *parent) : QWidget(parent) {
  // Qt repaints the whole of a widget without static contents on resize.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void StageWidget::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  AppTheme::drawStage(painter, QRectF(rect()), true);
  ShadowCaster::paintChildShadows(painter, *this);
}

} // namespace crel
