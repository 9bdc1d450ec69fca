#include "QuietMessages.h"

#include <QtGlobal>

namespace crel {

namespace {

QtMessageHandler previousHandler = nullptr;

void quietMessages(QtMsgType type, const QMessageLogContext &context, const QString &message) {
  if (type == QtFatalMsg && previousHandler)
    previousHandler(type, context, message);
}

} // namespace

void quietQtMessages() {
  QtMessageHandler previous = qInstallMessageHandler(quietMessages);
  if (previous != quietMessages)
    previousHandler = previous;
}

} // namespace crel
