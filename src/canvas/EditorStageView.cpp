#include "EditorStageView.h"

#include "platform/AppTheme.h"

#include <QPainter>
#include <QVBoxLayout>

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

void EditorStageView::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  AppTheme::drawStage(painter, QRectF(rect()), true);
}

} // namespace crel
