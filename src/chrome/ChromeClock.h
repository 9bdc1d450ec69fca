#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

class QObject;

namespace crel {

// Time for the chrome's delays (hover hints), injectable so tests run them
// without waiting. Milliseconds on a monotonic clock.
class ChromeClock {
public:
  virtual ~ChromeClock() = default;
  virtual qint64 now() const = 0;
  // Runs `action` once, `ms` from now, unless `context` is gone by then.
  virtual void after(int ms, const QObject *context, std::function<void()> action) = 0;

  // The real clock (QElapsedTimer and single-shot timers).
  static ChromeClock &system();
};

// A clock that moves only when told: advance() runs what fell due, in order.
class ManualChromeClock : public ChromeClock {
public:
  ManualChromeClock();
  ~ManualChromeClock() override;
  qint64 now() const override;
  void after(int ms, const QObject *context, std::function<void()> action) override;
  void advance(int ms);

private:
  struct State;
  std::unique_ptr<State> state_;
};

} // namespace crel
