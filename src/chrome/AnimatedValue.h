#pragma once

#include <QEasingCurve>
#include <QObject>
#include <QVariantAnimation>

namespace crel {

// One number a control animates (a hover fade, a knob position). While
// Motion is off it jumps to its target at once, so headless renders show the
// final state.
class AnimatedValue : public QObject {
  Q_OBJECT
public:
  explicit AnimatedValue(double initial, QObject *parent = nullptr);

  double value() const { return value_; }
  double target() const { return target_; }
  // Moves toward `to` over `seconds` from wherever it is now.
  void animateTo(double to, double seconds, QEasingCurve::Type easing = QEasingCurve::OutCubic);
  void jumpTo(double to);

Q_SIGNALS:
  void changed();

private:
  QVariantAnimation animation_;
  double value_, target_;
};

} // namespace crel
