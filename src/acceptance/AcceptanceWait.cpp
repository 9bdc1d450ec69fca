#include "AcceptanceWait.h"

#include "selfcheck/Failure.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>

namespace crel::acceptance {

namespace {

constexpr int attempts = 100;
constexpr int pollInterval = 100;

std::atomic_bool cancelled{false};

} // namespace

void EventPump::sleep(int milliseconds) {
  if (!cancelled) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
  }
  if (cancelled)
    throw Cancelled();
}

void EventPump::cancel() { cancelled = true; }

void EventPump::reset() { cancelled = false; }

void wait(const QString &message, const std::function<bool()> &condition, const Sleep &sleep) {
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (condition())
      return;
    sleep(pollInterval);
  }
  throw NativeTests::Failure(message);
}

} // namespace crel::acceptance
