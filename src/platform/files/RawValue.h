#pragma once

#include "JsonReader.h"
#include "JsonWriter.h"

#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <string_view>
#include <utility>

namespace crel {

// Enumerations stored by a string raw value specialise RawValues<E> with a
// constexpr `table` of {case, raw value} pairs in declaration order.
template <class E> struct RawValues;

template <class E> constexpr auto allCases() {
  constexpr auto &table = RawValues<E>::table;
  std::array<E, table.size()> cases{};
  for (std::size_t i = 0; i < table.size(); ++i)
    cases[i] = table[i].first;
  return cases;
}

template <class E> QString rawValue(E value) {
  for (const auto &[c, raw] : RawValues<E>::table)
    if (c == value)
      return QString::fromLatin1(raw.data(), qsizetype(raw.size()));
  return {};
}

// Exact, case-sensitive match; anything else is no value.
template <class E> std::optional<E> fromRawValue(QStringView text) {
  for (const auto &[c, raw] : RawValues<E>::table)
    if (text == QLatin1String(raw.data(), qsizetype(raw.size())))
      return c;
  return std::nullopt;
}

template <class E> void writeRawValue(JsonWriter &w, E value) { w.value(rawValue(value)); }

// Decoding an unknown raw value fails (data corruption), unlike reading a preference.
template <class E> E decodeRawValue(const QJsonValue &v) {
  const QString text = json::toString(v);
  if (auto value = fromRawValue<E>(text))
    return *value;
  throw JsonDecodingError("unknown raw value \"" + text.toStdString() + "\"");
}

} // namespace crel
