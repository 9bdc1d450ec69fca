#include "AnimatedValue.h"

#include "Motion.h"

namespace crel {

AnimatedValue::AnimatedValue(double initial, QObject *parent) : QObject(parent), value_(initial), target_(initial) {
  connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
    value_ = v.toDouble();
    Q_EMIT changed();
  });
}

void AnimatedValue::jumpTo(double to) {
  animation_.stop();
  target_ = to;
  if (value_ == to)
    return;
  value_ = to;
  Q_EMIT changed();
}

void AnimatedValue::animateTo(double to, double seconds, QEasingCurve::Type easing) {
  if (!Motion::enabled() || seconds <= 0) {
    jumpTo(to);
    return;
  }
  if (to == target_ && (animation_.state() == QAbstractAnimation::Running || value_ == to))
    return;
  animation_.stop();
  target_ = to;
  animation_.setStartValue(value_);
  animation_.setEndValue(to);
  animation_.setDuration(int(seconds * 1000));
  animation_.setEasingCurve(easing);
  animation_.start();
}

} // namespace crel
