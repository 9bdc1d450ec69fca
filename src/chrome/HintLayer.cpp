#include "HintLayer.h"

#include "HintController.h"

#include <QEvent>
#include <QPainter>

namespace crel {

HintLayer::HintLayer(HintController &controller, QWidget *parent) : QWidget(parent), controller_(&controller) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
  connect(&controller, &HintController::visibleChanged, this, &HintLayer::refresh);
  connect(&opacity_, &AnimatedValue::changed, this, qOverload<>(&QWidget::update));
  refresh();
}

void HintLayer::refresh() {
  const auto anchor = controller_ ? controller_->visibleAnchor() : std::nullopt;
  if (anchor) {
    shown_ = anchor->hint;
    if (control_ != anchor->control) {
      // The bubble follows its control, and the bar it sits in, as they move.
      for (QWidget *w : {control_.data(), control_ ? control_->parentWidget() : nullptr})
        if (w)
          w->removeEventFilter(this);
      control_ = anchor->control;
      control_->installEventFilter(this);
      if (QWidget *bar = control_->parentWidget())
        bar->installEventFilter(this);
    }
  }
  opacity_.animateTo(anchor ? 1 : 0, 0.12, QEasingCurve::OutQuad);
  update();
}

std::optional<QPointF> HintLayer::bubbleCentre() const {
  if (!shown_ || !control_ || opacity_.value() <= 0)
    return std::nullopt;
  const QWidget *window = control_->window();
  const QPointF origin = mapFrom(window, control_->mapTo(window, QPointF(0, 0)));
  return HintBubble::centre(*shown_, QRectF(origin, QSizeF(control_->size())), width());
}

bool HintLayer::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
    update();
  return QWidget::eventFilter(watched, event);
}

void HintLayer::paintEvent(QPaintEvent *) {
  const auto centre = bubbleCentre();
  if (!centre)
    return;
  QPainter painter(this);
  painter.setOpacity(opacity_.value());
  HintBubble::paint(painter, *centre, *shown_);
}

} // namespace crel
