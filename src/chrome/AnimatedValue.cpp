#include "AnimatedValue.h"

#include "Motion.h"

#include <cmath>

namespace crel {

AnimatedValue::AnimatedValue(double initial, QObject *parent) : QObject(parent), value_(initial), target_(initial) {
  connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
    if (spring_) {
      // The animation runs the seconds; the spring gives the way covered.
      const double seconds = v.toDouble();
      const bool done = seconds >= animation_.duration() / 1000.0;
      value_ = done ? target_
                    : spring_->from +
                          (target_ - spring_->from) * Motion::spring(seconds, spring_->response, spring_->damping);
    } else {
      value_ = v.toDouble();
    }
    Q_EMIT changed();
  });
  connect(&animation_, &QAbstractAnimation::finished, this, &AnimatedValue::settled);
}

void AnimatedValue::jumpTo(double to) {
  animation_.stop();
  spring_.reset();
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
  spring_.reset();
  target_ = to;
  animation_.setStartValue(value_);
  animation_.setEndValue(to);
  animation_.setDuration(int(seconds * 1000));
  animation_.setEasingCurve(easing);
  animation_.start();
}

void AnimatedValue::springTo(double to, double response, double damping) {
  if (!Motion::enabled()) {
    jumpTo(to);
    return;
  }
  if (to == target_ && (animation_.state() == QAbstractAnimation::Running || value_ == to))
    return;
  animation_.stop();
  target_ = to;
  spring_ = Spring{value_, response, damping};
  const int ms = int(std::ceil(Motion::springSettleSeconds(response, damping) * 1000));
  animation_.setStartValue(0.0);
  animation_.setEndValue(ms / 1000.0);
  animation_.setDuration(ms);
  animation_.setEasingCurve(QEasingCurve::Linear);
  animation_.start();
}

} // namespace crel
