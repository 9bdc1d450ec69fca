#include "PlainPressButton.h"

#include "ChromeColors.h"

#include <QPainter>

namespace crel {

PlainPressButton::PlainPressButton(QWidget *parent) : QAbstractButton(parent) { setFocusPolicy(Qt::NoFocus); }

void PlainPressButton::setContentPainter(ContentPainter painter) {
  content_ = std::move(painter);
  update();
}

void PlainPressButton::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setOpacity(isDown() ? pressedOpacity : 1.0);
  paintContent(painter);
}

void PlainPressButton::paintContent(QPainter &painter) {
  if (content_) {
    content_(painter, rect());
    return;
  }
  painter.setPen(ChromeColors::label(palette()));
  painter.drawText(rect(), Qt::AlignCenter, text());
}

} // namespace crel
