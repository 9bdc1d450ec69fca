#include "BundleInfo.h"

#include "UpdateAddress.h"
#include "platform/base/Translate.h"
#include "platform/files/FileError.h"
#include "platform/files/JsonReader.h"
#include "platform/files/ResourceLocator.h"

#include <QFile>

namespace crel::update {

namespace {

QUrl feedAddress(const QJsonValue &v) {
  const QString s = json::toString(v);
  if (s.isEmpty())
    return {};
  const QUrl url(s, QUrl::StrictMode);
  if (!UpdateAddress::isPermitted(url))
    throw JsonDecodingError("expected an https address");
  return url;
}

QByteArray publicKey(const QJsonValue &v) {
  if (json::toString(v).isEmpty())
    return {};
  const QByteArray key = json::toBase64Data(v);
  if (key.size() != 32)
    throw JsonDecodingError("expected the Base64 of a 32-byte Ed25519 public key");
  return key;
}

int interval(const QJsonValue &v) {
  const long long seconds = json::toInteger(v);
  if (seconds < 1 || seconds > 366LL * 24 * 3600)
    throw JsonDecodingError("expected a number of seconds between 1 and a year");
  return int(seconds);
}

} // namespace

BundleInfo BundleInfo::fromInfoDictionary(const QJsonObject &info, const QString &directory) {
  const JsonObjectReader r(info, "Info.json");
  BundleInfo bundle;
  bundle.directory = directory;
  bundle.identifier = r.required("CFBundleIdentifier", json::toNonEmptyString);
  bundle.version = r.required("CFBundleVersion", json::toNonEmptyString);
  bundle.shortVersion = r.optional("CFBundleShortVersionString", json::toString).value_or(bundle.version);
  bundle.displayName = r.optional("CFBundleDisplayName", json::toString)
                           .value_or(r.optional("CFBundleName", json::toString).value_or(bundle.identifier));
  UpdateSettings &u = bundle.updates;
  u.feedUrl = r.optional("SUFeedURL", feedAddress).value_or(QUrl());
  u.publicEdKey = r.optional("SUPublicEDKey", publicKey).value_or(QByteArray());
  u.requireSignedFeed = r.optional("SURequireSignedFeed", json::toBool).value_or(u.requireSignedFeed);
  u.scheduledCheckInterval = r.optional("SUScheduledCheckInterval", interval).value_or(u.scheduledCheckInterval);
  u.enableAutomaticChecks = r.optional("SUEnableAutomaticChecks", json::toBool).value_or(u.enableAutomaticChecks);
  return bundle;
}

BundleInfo BundleInfo::load(const QString &directory) {
  const QString path = directory + QStringLiteral("/Info.json");
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw FileError(tr("The application information “%1” couldn’t be read.").arg(path), path);
  const QJsonValue info = json::parse(file.readAll());
  if (!info.isObject())
    throw JsonDecodingError("Info.json: expected an object");
  return fromInfoDictionary(info.toObject(), directory);
}

BundleInfo BundleInfo::current() {
  const QString directory = ResourceLocator::bundleDirectory();
  if (directory.isEmpty())
    throw FileError(tr("The application folder with its Info.json couldn’t be found."));
  return load(directory);
}

QByteArray BundleInfo::userAgent() const { return "Crel/" + shortVersion.toUtf8(); }

} // namespace crel::update
