#include "ChromeShadowLayer.h"

#include "ShadowCaster.h"

#include <QDynamicPropertyChangeEvent>
#include <QPainter>

#include <algorithm>

namespace crel {

ChromeShadowLayer::ChromeShadowLayer(QWidget *parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
}

void ChromeShadowLayer::addCaster(QWidget *caster) {
  if (!caster || std::find(casters_.begin(), casters_.end(), caster) != casters_.end())
    return;
  casters_.emplace_back(caster);
  caster->installEventFilter(this);
  update();
}

void ChromeShadowLayer::removeCaster(QWidget *caster) {
  std::erase_if(casters_, [caster](const QPointer<QWidget> &w) { return !w || w == caster; });
  if (caster)
    caster->removeEventFilter(this);
  update();
}

bool ChromeShadowLayer::eventFilter(QObject *watched, QEvent *event) {
  switch (event->type()) {
  case QEvent::Move:
  case QEvent::Resize:
  case QEvent::Show:
  case QEvent::Hide:
  case QEvent::EnabledChange: update(); break;
  case QEvent::DynamicPropertyChange:
    if (static_cast<QDynamicPropertyChangeEvent *>(event)->propertyName() == "chromeShadowRevision")
      update();
    break;
  default: break;
  }
  return QWidget::eventFilter(watched, event);
}

void ChromeShadowLayer::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  for (const QPointer<QWidget> &caster : casters_)
    if (caster && !caster->isHidden())
      ShadowCaster::paintShadowOf(painter, *this, *caster);
}

} // namespace crel
