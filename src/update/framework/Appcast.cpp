#include "Appcast.h"

#include "Ed25519.h"
#include "UpdateAddress.h"
#include "UpdateError.h"
#include "platform/base/Translate.h"
#include "platform/files/JsonReader.h"
#include "platform/files/JsonWriter.h"

#include <algorithm>
#include <string>

namespace crel::update {

namespace {

QDateTime date(const QJsonValue &v) {
  const QDateTime d = QDateTime::fromString(json::toString(v), Qt::ISODate);
  if (!d.isValid())
    throw JsonDecodingError("expected an ISO 8601 date");
  return d;
}

QByteArray signature(const QJsonValue &v) {
  const QByteArray s = json::toBase64Data(v);
  if (s.size() != Ed25519::signatureSize)
    throw JsonDecodingError("expected the Base64 of a 64-byte Ed25519 signature");
  return s;
}

QByteArray sha256(const QJsonValue &v) {
  const QString s = json::toString(v);
  static const QString hexDigits = QStringLiteral("0123456789abcdefABCDEF");
  const bool hex = s.size() == 64 && std::all_of(s.begin(), s.end(), [](QChar c) { return hexDigits.contains(c); });
  if (!hex)
    throw JsonDecodingError("expected 64 hexadecimal digits");
  return QByteArray::fromHex(s.toLatin1());
}

QString version(const QJsonValue &v) {
  QString s = json::toString(v);
  if (!AppcastItem::isPlainVersion(s))
    throw JsonDecodingError("expected a plain version string");
  return s;
}

qint64 length(const QJsonValue &v) {
  const long long n = json::toInteger(v);
  if (n < 1 || n > AppcastItem::maximumArchiveLength)
    throw JsonDecodingError("expected a size between 1 byte and 2 GiB");
  return n;
}

struct ArchiveReader {
  const QUrl &feedUrl;
  std::string name;

  QUrl address(const QJsonValue &v) const {
    const QUrl given(json::toNonEmptyString(v), QUrl::StrictMode);
    if (!given.isValid())
      throw JsonDecodingError("expected a URL");
    const QUrl url = given.isRelative() ? feedUrl.resolved(given) : given;
    if (!UpdateAddress::isPermitted(url))
      throw JsonDecodingError("expected an https address");
    return url;
  }

  void read(const QJsonValue &v, AppcastItem &item) const {
    const JsonObjectReader r(v, name.c_str());
    item.archiveUrl = r.required("url", [this](const QJsonValue &u) { return address(u); });
    item.length = r.required("length", length);
    item.edSignature = r.required("edSignature", signature);
    item.sha256 = r.optional("sha256", sha256).value_or(QByteArray());
  }
};

AppcastItem readItem(const QJsonValue &v, qsizetype index, const QUrl &feedUrl) {
  const std::string name = "items[" + std::to_string(index) + "]";
  const ArchiveReader archive{feedUrl, name + ".archive"};
  const JsonObjectReader r(v, name.c_str());
  AppcastItem item;
  item.version = r.required("version", version);
  item.displayVersionString = r.optional("displayVersion", json::toNonEmptyString).value_or(item.version);
  item.architecture = r.optional("architecture", json::toString).value_or(QString());
  item.minimumSystemVersion = r.optional("minimumSystemVersion", json::toString).value_or(QString());
  item.published = r.optional("published", date).value_or(QDateTime());
  item.releaseNotes = r.optional("releaseNotes", json::toString).value_or(QString());
  // Read directly, so that its errors name the nested key once.
  archive.read(r.object().value(QLatin1String("archive")), item);
  return item;
}

void writeOptional(JsonWriter &w, std::string_view key, const QString &value) {
  if (!value.isEmpty())
    w.field(key, value);
}

} // namespace

bool AppcastItem::isPlainVersion(const QString &version) {
  const auto allowed = [](QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'.' || c == u'-' ||
           c == u'+';
  };
  return !version.isEmpty() && version.size() <= 64 && version.front().isLetterOrNumber() &&
         std::all_of(version.begin(), version.end(), allowed) && !version.contains(QLatin1String(".."));
}

QByteArray Appcast::encodePayload() const {
  JsonWriter w;
  w.beginObject();
  w.field("identifier", identifier);
  if (generated.isValid())
    w.field("generated", generated.toUTC().toString(Qt::ISODate));
  w.key("items");
  w.beginArray();
  for (const AppcastItem &item : items) {
    w.beginObject();
    w.field("version", item.version);
    if (item.displayVersionString != item.version)
      writeOptional(w, "displayVersion", item.displayVersionString);
    writeOptional(w, "architecture", item.architecture);
    writeOptional(w, "minimumSystemVersion", item.minimumSystemVersion);
    if (item.published.isValid())
      w.field("published", item.published.toUTC().toString(Qt::ISODate));
    writeOptional(w, "releaseNotes", item.releaseNotes);
    w.key("archive");
    w.beginObject();
    w.field("url", item.archiveUrl.toString(QUrl::FullyEncoded));
    w.field("length", static_cast<long long>(item.length));
    if (!item.sha256.isEmpty())
      w.field("sha256", QString::fromLatin1(item.sha256.toHex()));
    w.key("edSignature");
    w.valueBase64(item.edSignature);
    w.endObject();
    w.endObject();
  }
  w.endArray();
  w.endObject();
  return w.take();
}

Appcast Appcast::decodePayload(const QByteArray &payload, const QUrl &feedUrl) {
  try {
    const JsonObjectReader r(json::parse(payload), "feed");
    Appcast appcast;
    appcast.identifier = r.required("identifier", json::toNonEmptyString);
    appcast.generated = r.optional("generated", date).value_or(QDateTime());
    const QJsonArray items = r.required("items", json::toArray);
    for (qsizetype i = 0; i < items.size(); ++i)
      appcast.items.append(readItem(items[i], i, feedUrl));
    return appcast;
  } catch (const JsonDecodingError &e) {
    throw UpdateError(UpdateErrorCode::appcastParse,
                      tr("The update information is damaged or in a format this version can’t read (%1).")
                          .arg(QString::fromUtf8(e.what())));
  }
}

} // namespace crel::update
