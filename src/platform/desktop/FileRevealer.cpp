#include "FileRevealer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
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

DesktopFileRevealer::DesktopFileRevealer(OpenFolder openFolder) : openFolder_(std::move(openFolder)) {
  if (!openFolder_)
    openFolder_ = &FolderOpener::openWithHandler;
}

void DesktopFileRevealer::reveal(const QString &path, Failed failed) {
  const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
  auto openFolder = [folder, open = openFolder_, failed = std::move(failed)] {
    open(folder, [failed](bool opened) {
      if (!opened && failed)
        failed();
    });
  };
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    openFolder();
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(service), QString::fromLatin1(objectPath),
                                                     QString::fromLatin1(service), QStringLiteral("ShowItems"));
  call << QStringList{QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)}
       << QString();
  // Asynchronous: a slow file manager never stalls the editor.
  auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [watcher, openFolder] {
    watcher->deleteLater();
    if (watcher->isError()) {
      qCInfo(lcReveal) << "no file manager on the bus:" << watcher->error().message();
      openFolder();
    }
  });
}

} // namespace crel
