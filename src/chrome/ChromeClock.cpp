#include "ChromeClock.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <map>

namespace crel {

namespace {

class SystemClock : public ChromeClock {
public:
  SystemClock() { timer_.start(); }
  qint64 now() const override { return timer_.elapsed(); }
  void after(int ms, const QObject *context, std::function<void()> action) override {
    QTimer::singleShot(ms, context, std::move(action));
  }

private:
  QElapsedTimer timer_;
};

} // namespace

ChromeClock &ChromeClock::system() {
  static SystemClock clock;
  return clock;
}

struct ManualChromeClock::State {
  qint64 now = 0;
  std::multimap<qint64, std::pair<QPointer<const QObject>, std::function<void()>>> due;
};

ManualChromeClock::ManualChromeClock() : state_(std::make_unique<State>()) {}
ManualChromeClock::~ManualChromeClock() = default;

qint64 ManualChromeClock::now() const { return state_->now; }

void ManualChromeClock::after(int ms, const QObject *context, std::function<void()> action) {
  state_->due.emplace(state_->now + ms, std::make_pair(QPointer<const QObject>(context), std::move(action)));
}

void ManualChromeClock::advance(int ms) {
  const qint64 until = state_->now + ms;
  while (!state_->due.empty() && state_->due.begin()->first <= until) {
    auto entry = state_->due.extract(state_->due.begin());
    state_->now = entry.key();
    if (entry.mapped().first)
      entry.mapped().second();
  }
  state_->now = until;
}

} // namespace crel
