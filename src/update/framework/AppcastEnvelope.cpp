#include "AppcastEnvelope.h"

#include "Ed25519.h"
#include "UpdateError.h"
#include "platform/base/Translate.h"
#include "platform/files/JsonReader.h"
#include "platform/files/JsonWriter.h"

#include <optional>

namespace crel::update {

namespace {

constexpr const char *formatName = "crel-appcast";
constexpr int formatVersion = 1;

UpdateError malformed(const QString &detail) {
  return UpdateError(UpdateErrorCode::appcastParse,
                     tr("The update information is damaged or in a format this version can’t read (%1).").arg(detail));
}

UpdateError untrusted() {
  return UpdateError(UpdateErrorCode::feedSignature,
                     tr("The update information isn’t signed by the maker of this app, so it was ignored."));
}

struct Envelope {
  QByteArray payload;
  std::optional<QByteArray> signature;
};

Envelope decode(const QByteArray &bytes) {
  if (bytes.size() > AppcastEnvelope::maximumSize)
    throw malformed(QStringLiteral("larger than 1 MiB"));
  try {
    const JsonObjectReader r(json::parse(bytes), "envelope");
    if (r.required("format", json::toString) != QLatin1String(formatName))
      throw JsonDecodingError("envelope.format: not a Crel update feed");
    if (r.required("formatVersion", json::toInteger) != formatVersion)
      throw JsonDecodingError("envelope.formatVersion: a newer format");
    return {r.required("payload", json::toBase64Data), r.optional("signature", json::toBase64Data)};
  } catch (const JsonDecodingError &e) {
    throw malformed(QString::fromUtf8(e.what()));
  }
}

} // namespace

QByteArray AppcastEnvelope::seal(const QByteArray &payload, QByteArrayView seed) {
  JsonWriter w;
  w.beginObject();
  w.field("format", formatName);
  w.field("formatVersion", formatVersion);
  w.key("payload");
  w.valueBase64(payload);
  w.key("signature");
  w.valueBase64(Ed25519::sign(payload, seed));
  w.endObject();
  return w.take();
}

QByteArray AppcastEnvelope::open(const QByteArray &envelope, QByteArrayView publicKey, bool requireSignature) {
  const Envelope e = decode(envelope);
  if (!e.signature && !requireSignature)
    return e.payload;
  if (!e.signature || !Ed25519::verify(e.payload, *e.signature, publicKey))
    throw untrusted();
  return e.payload;
}

} // namespace crel::update
