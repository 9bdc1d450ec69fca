#include "HoverButton.h"

namespace crel {

HoverButton::HoverButton(double hoverSeconds, QWidget *parent) : QAbstractButton(parent), hoverSeconds_(hoverSeconds) {
  setFocusPolicy(Qt::NoFocus);
  connect(&hoverAmount_, &AnimatedValue::changed, this, qOverload<>(&QWidget::update));
}

void HoverButton::enterEvent(QEnterEvent *event) {
  setHovered(isEnabled());
  QAbstractButton::enterEvent(event);
}

void HoverButton::leaveEvent(QEvent *event) {
  setHovered(false);
  QAbstractButton::leaveEvent(event);
}

void HoverButton::setHovered(bool hovered) {
  if (hovered_ == hovered)
    return;
  hovered_ = hovered;
  hoverAmount_.animateTo(hovered ? 1 : 0, hoverSeconds_, QEasingCurve::OutQuad);
  update();
}

} // namespace crel
