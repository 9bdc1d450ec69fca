#include "UpdateFixture.h"

#include "support/TestSupport.h"
#include "update/framework/Appcast.h"
#include "update/framework/AppcastEnvelope.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

using namespace crel::update;

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
