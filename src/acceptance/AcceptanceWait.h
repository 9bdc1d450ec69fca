#pragma once

#include <QString>

#include <exception>
#include <functional>

namespace crel::acceptance {

// The run was cancelled while it slept; never turned into a check failure.
class Cancelled : public std::exception {
public:
  const char *what() const noexcept override { return "The acceptance run was cancelled"; }
};

// Hands the main thread back to the event loop for a while. The real one
// pumps a nested loop (X events, posted events, timers, autosaves) and
// throws Cancelled once the run is cancelled.
using Sleep = std::function<void(int milliseconds)>;

// The run's pump: a nested event loop for the given time, then Cancelled
// when cancel() was called meanwhile (or before).
class EventPump {
public:
  static void sleep(int milliseconds);
  static void cancel();
  // For a new run in the same process.
  static void reset();
};

// Evaluates `condition` at once and after each 100 ms sleep, at most 100
// times; then throws NativeTests::Failure(message) without evaluating again.
// A throw from the sleep (Cancelled) passes through unchanged.
void wait(const QString &message, const std::function<bool()> &condition, const Sleep &sleep = EventPump::sleep);

} // namespace crel::acceptance
