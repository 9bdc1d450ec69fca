#pragma once

#include <QString>

#include <functional>

namespace crel::acceptance {

// Hands the main thread back to the event loop for a while. The real one
// pumps a nested loop (X events, posted events, timers, autosaves).
using Sleep = std::function<void(int milliseconds)>;

// The run's pump: a nested event loop for the given time.
struct EventPump {
  static void sleep(int milliseconds);
};

// Evaluates `condition` at once and after each 100 ms sleep, at most 100
// times; then throws NativeTests::Failure(message) without evaluating again.
// A throw from the sleep passes through unchanged.
void wait(const QString &message, const std::function<bool()> &condition, const Sleep &sleep = EventPump::sleep);

} // namespace crel::acceptance
