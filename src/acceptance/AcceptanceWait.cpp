#include "AcceptanceWait.h"

#include "selfcheck/Failure.h"

#include <QEventLoop>
#include <QTimer>

namespace crel::acceptance {

namespace {

constexpr int attempts = 100;
constexpr int pollInterval = 100;

} // namespace

void EventPump::sleep(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

void wait(const QString &message, const std::function<bool()> &condition, const Sleep &sleep) {
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (condition())
      return;
    sleep(pollInterval);
  }
  throw NativeTests::Failure(message);
}

} // namespace crel::acceptance
