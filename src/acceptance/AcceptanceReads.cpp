#include "AcceptanceReads.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QWidget>

#include <stdexcept>

namespace crel::acceptance {

QByteArray clipboardPng() {
  const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
  return mime ? mime->data(QStringLiteral("image/png")) : QByteArray();
}

bool isKeyWindow(const QWidget *window) {
  return window && window->isActiveWindow() && QApplication::activeWindow() == window &&
         QGuiApplication::applicationState() == Qt::ApplicationActive;
}

} // namespace crel::acceptance
