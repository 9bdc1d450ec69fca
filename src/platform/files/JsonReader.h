#pragma once

#include "platform/base/Geometry.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QPointF>
#include <QString>
#include <QUuid>

#include <optional>
#include <stdexcept>
#include <type_traits>

namespace crel {

// Raised for malformed or mistyped stored data; the message names what failed.
class JsonDecodingError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Strict readers over QJsonValue: the wrong type fails, never coerces.
namespace json {

QJsonValue parse(const QByteArray &bytes); // throws JsonDecodingError
double toDouble(const QJsonValue &v);
long long toInteger(const QJsonValue &v); // integral numbers only
bool toBool(const QJsonValue &v);
QString toString(const QJsonValue &v);
QString toNonEmptyString(const QJsonValue &v); // not blank either
QUuid toUuid(const QJsonValue &v);             // either case
QByteArray toBase64Data(const QJsonValue &v);
QPointF toPoint(const QJsonValue &v);   // [x, y]
geom::Rect toRect(const QJsonValue &v); // [[x, y], [w, h]]
QJsonObject toObject(const QJsonValue &v);
QJsonArray toArray(const QJsonValue &v);

template <class F> auto toList(const QJsonValue &v, F decodeElement) {
  using T = std::decay_t<decltype(decodeElement(QJsonValue{}))>;
  const QJsonArray array = toArray(v);
  QList<T> result;
  result.reserve(array.size());
  for (const QJsonValue &element : array)
    result.append(decodeElement(element));
  return result;
}

} // namespace json

// Reads the fields of one stored record: required keys must be present with
// the right type; optional keys may be missing or null; other keys are ignored.
class JsonObjectReader {
public:
  JsonObjectReader(const QJsonValue &value, const char *typeName);

  template <class F> auto required(const char *key, F decode) const {
    const QJsonValue v = object_.value(QLatin1String(key));
    if (v.isUndefined())
      fail(key, "is missing");
    return decodeField(key, v, decode);
  }

  template <class F> auto optional(const char *key, F decode) const {
    using T = std::decay_t<decltype(decode(QJsonValue{}))>;
    const QJsonValue v = object_.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
      return std::optional<T>();
    return std::optional<T>(decodeField(key, v, decode));
  }

  const QJsonObject &object() const { return object_; }

private:
  template <class F> auto decodeField(const char *key, const QJsonValue &v, F decode) const {
    try {
      return decode(v);
    } catch (const JsonDecodingError &e) {
      fail(key, e.what());
    }
  }
  [[noreturn]] void fail(const char *key, const char *problem) const;

  QJsonObject object_;
  const char *typeName_;
};

} // namespace crel
