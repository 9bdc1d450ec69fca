#include "FileManagerStub.h"

#include "platform/desktop/FileRevealer.h"

#include <QDBusConnection>
#include <QWidget>

namespace crel::acceptance {

FileManagerStub::FileManagerStub(QObject *parent) : QObject(parent) {}

FileManagerStub::~FileManagerStub() { delete window_; }

bool FileManagerStub::serve() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected())
    return false;
  if (!bus.registerObject(QString::fromLatin1(DesktopFileRevealer::objectPath), this, QDBusConnection::ExportAllSlots))
    return false;
  if (bus.registerService(QString::fromLatin1(DesktopFileRevealer::service)))
    return true;
  bus.unregisterObject(QString::fromLatin1(DesktopFileRevealer::objectPath));
  return false;
}

QString FileManagerStub::title(const QStringList &uris) {
  return QStringLiteral("Crel acceptance file manager: ") + uris.join(QLatin1Char(' '));
}

void FileManagerStub::ShowItems(const QStringList &uris, const QString &) {
  if (!window_) {
    window_ = new QWidget;
    window_->resize(480, 320);
  }
  window_->setWindowTitle(title(uris));
  window_->show();
  window_->raise();
  window_->activateWindow();
}

} // namespace crel::acceptance
