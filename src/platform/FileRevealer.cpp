#include "FileRevealer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLoggingCategory>

namespace crel {

namespace {
Q_LOGGING_CATEGORY(lcReveal, "crel.platform.reveal")
} // namespace

FileRevealer &FileRevealer::system() {
  static DesktopFileRevealer revealer;
  return revealer;
}

DesktopFileRevealer::DesktopFileRevealer(FolderOpener openFolder) : openFolder_(std::move(openFolder)) {
  if (!openFolder_)
    openFolder_ = [](const QUrl &folder) { QDesktopServices::openUrl(folder); };
}

void DesktopFileRevealer::reveal(const QString &path) {
  const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    openFolder_(folder);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(service), QString::fromLatin1(objectPath),
                                                     QString::fromLatin1(service), QStringLiteral("ShowItems"));
  call << QStringList{QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)}
       << QString();
  // Asynchronous: a slow file manager never stalls the editor.
  auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [watcher, folder, open = openFolder_] {
    watcher->deleteLater();
    if (watcher->isError()) {
      qCInfo(lcReveal) << "no file manager on the bus:" << watcher->error().message();
      open(folder);
    }
  });
}

} // namespace crel
