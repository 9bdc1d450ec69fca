#pragma once

namespace crel {

// Chrome animations (hover fades, the switch knob, sliding selections) run
// only while motion is enabled. Tests and headless renderers turn it off, so
// every state change lands at once and renders are deterministic.
namespace Motion {

bool enabled();
void setEnabled(bool enabled);

// A damped spring released from 0 toward 1: how far it has come after
// `seconds`, for a response (the undamped period) in seconds and a damping
// fraction below 1 (it overshoots slightly, then rests).
double spring(double seconds, double response, double damping);
// When such a spring is within a thousandth of its rest.
double springSettleSeconds(double response, double damping);

} // namespace Motion

} // namespace crel
