#include "FolderOpener.h"

#include "platform/base/DescriptorLimit.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QLoggingCategory>
#include <QProcess>
#include <QTimer>

#include <memory>
#include <utility>

namespace crel {

namespace {
Q_LOGGING_CATEGORY(lcFolder, "crel.platform.folder")
} // namespace

void FolderOpener::open(const QUrl &folder, Done done) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    openWithHandler(folder, std::move(done));
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(service), QString::fromLatin1(objectPath),
                                                     QString::fromLatin1(service), QStringLiteral("ShowFolders"));
  call << QStringList{folder.toString(QUrl::FullyEncoded)} << QString();
  // Asynchronous: a slow file manager never stalls the application.
  auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [watcher, folder, done = std::move(done)] {
    watcher->deleteLater();
    if (!watcher->isError()) {
      done(true);
      return;
    }
    qCInfo(lcFolder) << "no file manager on the bus:" << watcher->error().message();
    openWithHandler(folder, done);
  });
}

void FolderOpener::openWithHandler(const QUrl &folder, Done done) {
  // Owned by the application, so one still running at the end is stopped, not leaked.
  auto *process = new QProcess(QCoreApplication::instance());
  process->setProgram(QStringLiteral("xdg-open"));
  process->setArguments({folder.isLocalFile() ? folder.toLocalFile() : folder.toString(QUrl::FullyEncoded)});
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process->setChildProcessModifier(&DescriptorLimit::restoreInChild);
  auto answered = std::make_shared<bool>(false);
  auto answer = [answered, done = std::move(done)](bool opened) {
    if (!std::exchange(*answered, true) && done)
      done(opened);
  };
  QObject::connect(process, &QProcess::errorOccurred, process, [process, answer](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart)
      return;
    qCInfo(lcFolder) << "xdg-open could not start:" << process->errorString();
    answer(false);
    process->deleteLater();
  });
  QObject::connect(process, &QProcess::finished, process, [process, answer](int code, QProcess::ExitStatus status) {
    answer(status == QProcess::NormalExit && code == 0);
    process->deleteLater();
  });
  QTimer::singleShot(handlerSettleMs, process, [answer] { answer(true); });
  process->start();
}

} // namespace crel
