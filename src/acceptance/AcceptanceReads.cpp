#include "AcceptanceReads.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QWidget>

#include <stdexcept>

namespace crel::acceptance {

QByteArray readFile(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw std::runtime_error(QStringLiteral("Could not read %1: %2").arg(path, file.errorString()).toStdString());
  return file.readAll();
}

QByteArray clipboardPng() {
  const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
  return mime ? mime->data(QStringLiteral("image/png")) : QByteArray();
}

bool isKeyWindow(const QWidget *window) {
  return window && window->isActiveWindow() && QApplication::activeWindow() == window &&
         QGuiApplication::applicationState() == Qt::ApplicationActive;
}

} // namespace crel::acceptance
