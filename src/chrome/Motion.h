#pragma once

namespace crel {

// Chrome animations (hover fades, the switch knob, sliding selections) run
// only while motion is enabled. Tests and headless renderers turn it off, so
// every state change lands at once and renders are deterministic.
namespace Motion {

bool enabled();
void setEnabled(bool enabled);

} // namespace Motion

} // namespace crel
