#include "UpdateFixture.h"

#include "support/TestSupport.h"
#include "update/framework/Appcast.h"
#include "update/framework/AppcastEnvelope.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace crel::update;

OtherInstance::OtherInstance(const QString &appDirectory) {
  const QString executable = appDirectory + "/bin/crel-other-display";
  QFile::copy("/bin/sleep", executable);
  QProcess::startDetached(executable, {"600"}, {}, &pid_);
}

bool OtherInstance::isRunning() const { return pid_ > 0 && ::kill(pid_t(pid_), 0) == 0; }

void OtherInstance::quit() {
  if (pid_ <= 0)
    return;
  ::kill(pid_t(pid_), SIGKILL);
  // Reaped by whoever adopted it; until then it is a zombie, which runs nothing.
  const QString exe = QString("/proc/%1/exe").arg(pid_);
  if (!QTest::qWaitFor([&exe] { return QFile::symLinkTarget(exe).isEmpty(); }, 10000))
    qWarning("another instance of the copy outlived SIGKILL");
  pid_ = 0;
}

UpdateFixture::UpdateFixture() {
  QDir().mkpath(apps());
  writeApplication(appDirectory(), infoJson("100", keys.publicKey, server.url("/appcast.json")), "#!/bin/sh\n");
}

QByteArray UpdateFixture::infoJson(const char *version, const QByteArray &publicKey, const QUrl &feed,
                                   const char *bundleIdentifier) {
  return QJsonDocument(QJsonObject{{"CFBundleIdentifier", bundleIdentifier},
                                   {"CFBundleName", "Crel"},
                                   {"CFBundleShortVersionString", QString("1.%1").arg(version)},
                                   {"CFBundleVersion", version},
                                   {"SUFeedURL", feed.toString()},
                                   {"SUPublicEDKey", QString::fromLatin1(publicKey.toBase64())},
                                   {"SUEnableAutomaticChecks", true}})
      .toJson();
}

void UpdateFixture::writeApplication(const QString &directory, const QByteArray &info, const QByteArray &executable) {
  crel::test::writeFile(directory + "/Info.json", info);
  crel::test::writeFile(directory + "/bin/crel", executable);
  QFile::setPermissions(directory + "/bin/crel",
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

AppcastItem UpdateFixture::publish(const char *version, const QList<ArchiveEntry> &entries, HttpFault fault) {
  const QByteArray archive =
      buildArchive(entries.isEmpty() ? applicationEntries("Crel.app", infoJson(version, keys.publicKey)) : entries);
  server.serve("/archive.tar.gz", archive, fault);
  AppcastItem item;
  item.version = version;
  item.displayVersionString = QString("1.%1").arg(version);
  item.archiveUrl = server.url("/archive.tar.gz");
  item.length = archive.size();
  item.edSignature = Ed25519::sign(archive, keys.seed);
  serveFeed({item});
  return item;
}

void UpdateFixture::serveFeed(const QList<AppcastItem> &items) {
  Appcast appcast;
  appcast.identifier = identifier;
  appcast.items = items;
  server.serve("/appcast.json", AppcastEnvelope::seal(appcast.encodePayload(), keys.seed));
}

QStringList UpdateFixture::strays() const {
  QStringList names = QDir(apps()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  names.removeAll("Crel.app");
  return names;
}
