#include "DisplayLoss.h"

#include <QCoreApplication>
#include <QThread>

namespace crel::DisplayLoss {

namespace {

std::function<void()> handler;
bool reported = false;
QtMessageHandler previousHandler = nullptr;

bool onMainThread() {
  const QCoreApplication *app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

// Qt says so just before it ends the process, on the main thread, with
// everything still alive.
void watchMessages(QtMsgType type, const QMessageLogContext &context, const QString &message) {
  if (type == QtWarningMsg && message.startsWith(QLatin1String("The X11 connection broke")))
    report();
  if (previousHandler)
    previousHandler(type, context, message);
}

} // namespace

void setHandler(std::function<void()> work) {
  handler = std::move(work);
  reported = false;
  if (!handler)
    return;
  const QtMessageHandler previous = qInstallMessageHandler(watchMessages);
  if (previous != watchMessages)
    previousHandler = previous;
}

void report() {
  if (reported || !handler || !onMainThread())
    return;
  reported = true;
  handler();
}

} // namespace crel::DisplayLoss
