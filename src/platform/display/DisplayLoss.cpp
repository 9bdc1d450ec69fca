#include "DisplayLoss.h"

#include <QCoreApplication>
#include <QThread>

#include <utility>

namespace crel::DisplayLoss {

namespace {

std::function<void()> handler, ending;
bool reported = false;
QtMessageHandler previousHandler = nullptr;

bool onMainThread() {
  const QCoreApplication *app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

// Qt says so just before it ends the process, on the main thread, with
// everything still alive.
void watchMessages(QtMsgType type, const QMessageLogContext &context, const QString &message) {
  const bool lost = type == QtWarningMsg && message.startsWith(QLatin1String("The X11 connection broke"));
  if (lost)
    report();
  if (previousHandler)
    previousHandler(type, context, message);
  if (lost && ending && onMainThread())
    std::exchange(ending, {})();
}

void watch() {
  const QtMessageHandler previous = qInstallMessageHandler(watchMessages);
  if (previous != watchMessages)
    previousHandler = previous;
}

} // namespace

void setHandler(std::function<void()> work) {
  handler = std::move(work);
  reported = false;
  if (handler)
    watch();
}

void setEnding(std::function<void()> work) {
  ending = std::move(work);
  if (ending)
    watch();
}

void report() {
  if (reported || !handler || !onMainThread())
    return;
  reported = true;
  handler();
}

} // namespace crel::DisplayLoss
