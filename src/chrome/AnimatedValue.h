#pragma once

#include <QEasingCurve>
#include <QObject>
#include <QVariantAnimation>

#include <optional>

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
  // Moves toward `to` as a damped spring (see Motion::spring).
  void springTo(double to, double response, double damping);
  void jumpTo(double to);
  bool isMoving() const { return animation_.state() == QAbstractAnimation::Running; }

Q_SIGNALS:
  void changed();
  // An animation came to rest at its target (not emitted by jumpTo).
  void settled();

private:
  QVariantAnimation animation_;
  double value_, target_;
  // While springing: the start, and the spring's response and damping.
  struct Spring {
    double from, response, damping;
  };
  std::optional<Spring> spring_;
};

} // namespace crel
