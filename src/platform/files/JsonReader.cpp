#include "JsonReader.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>

namespace crel {

namespace json {

QJsonValue parse(const QByteArray &bytes) {
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
  if (error.error != QJsonParseError::NoError)
    throw JsonDecodingError("invalid JSON: " + error.errorString().toStdString() + " at offset " +
                            std::to_string(error.offset));
  if (doc.isObject())
    return doc.object();
  return doc.array();
}

double toDouble(const QJsonValue &v) {
  if (!v.isDouble())
    throw JsonDecodingError("expected a number");
  return v.toDouble();
}

long long toInteger(const QJsonValue &v) {
  const double d = toDouble(v);
  if (!std::isfinite(d) || std::trunc(d) != d || std::abs(d) > 9007199254740992.0)
    throw JsonDecodingError("expected an integer");
  return v.toInteger(static_cast<long long>(d));
}

bool toBool(const QJsonValue &v) {
  if (!v.isBool())
    throw JsonDecodingError("expected a boolean");
  return v.toBool();
}

QString toString(const QJsonValue &v) {
  if (!v.isString())
    throw JsonDecodingError("expected a string");
  return v.toString();
}

QString toNonEmptyString(const QJsonValue &v) {
  QString s = toString(v);
  if (s.trimmed().isEmpty())
    throw JsonDecodingError("expected a non-empty string");
  return s;
}

QUuid toUuid(const QJsonValue &v) {
  const QString s = toString(v);
  // Only the canonical 36-character form; QUuid also takes braces, which we never write.
  const QUuid id = s.size() == 36 ? QUuid::fromString(s) : QUuid();
  if (id.isNull() && s != QLatin1String("00000000-0000-0000-0000-000000000000"))
    throw JsonDecodingError("expected a UUID string");
  return id;
}

QByteArray toBase64Data(const QJsonValue &v) {
  const QString s = toString(v);
  auto result = QByteArray::fromBase64Encoding(s.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!result)
    throw JsonDecodingError("expected Base64 data");
  return *result;
}

QJsonObject toObject(const QJsonValue &v) {
  if (!v.isObject())
    throw JsonDecodingError("expected an object");
  return v.toObject();
}

QJsonArray toArray(const QJsonValue &v) {
  if (!v.isArray())
    throw JsonDecodingError("expected an array");
  return v.toArray();
}

QPointF toPoint(const QJsonValue &v) {
  const QJsonArray a = toArray(v);
  if (a.size() != 2)
    throw JsonDecodingError("expected a point [x, y]");
  return {toDouble(a[0]), toDouble(a[1])};
}

geom::Rect toRect(const QJsonValue &v) {
  const QJsonArray a = toArray(v);
  if (a.size() != 2)
    throw JsonDecodingError("expected a rectangle [[x, y], [width, height]]");
  const QPointF origin = toPoint(a[0]);
  const QPointF size = toPoint(a[1]);
  return {origin.x(), origin.y(), size.x(), size.y()};
}

} // namespace json

JsonObjectReader::JsonObjectReader(const QJsonValue &value, const char *typeName) : typeName_(typeName) {
  if (!value.isObject())
    throw JsonDecodingError(std::string(typeName) + ": expected an object");
  object_ = value.toObject();
}

void JsonObjectReader::fail(const char *key, const char *problem) const {
  throw JsonDecodingError(std::string(typeName_) + "." + key + ": " + problem);
}

} // namespace crel
