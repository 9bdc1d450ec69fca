#include "JsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace crel {

void JsonWriter::beforeValue() {
  if (stack_.empty()) {
    if (done_)
      throw JsonEncodingError("JSON document already has a top-level value");
    done_ = true;
    return;
  }
  Level &top = stack_.back();
  if (top.object) {
    if (!top.expectingValue)
      throw JsonEncodingError("JSON object value written without a key");
    top.expectingValue = false;
    return;
  }
  if (!top.empty)
    out_ += ',';
  top.empty = false;
}

void JsonWriter::beginObject() {
  beforeValue();
  out_ += '{';
  stack_.push_back({true, true, false});
}

void JsonWriter::endObject() {
  if (stack_.empty() || !stack_.back().object || stack_.back().expectingValue)
    throw JsonEncodingError("unbalanced JSON object");
  stack_.pop_back();
  out_ += '}';
}

void JsonWriter::beginArray() {
  beforeValue();
  out_ += '[';
  stack_.push_back({false, true, false});
}

void JsonWriter::endArray() {
  if (stack_.empty() || stack_.back().object)
    throw JsonEncodingError("unbalanced JSON array");
  stack_.pop_back();
  out_ += ']';
}

void JsonWriter::key(std::string_view name) {
  if (stack_.empty() || !stack_.back().object || stack_.back().expectingValue)
    throw JsonEncodingError("JSON key outside an object");
  Level &top = stack_.back();
  if (!top.empty)
    out_ += ',';
  top.empty = false;
  top.expectingValue = true;
  writeString(QString::fromUtf8(name.data(), qsizetype(name.size())));
  out_ += ':';
}

QByteArray JsonWriter::formatDouble(double v) {
  if (!std::isfinite(v))
    throw JsonEncodingError("non-finite number has no JSON form");
  if (v == 0)
    return std::signbit(v) ? QByteArrayLiteral("-0") : QByteArrayLiteral("0");
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return QByteArray(buf, int(res.ptr - buf));
}

void JsonWriter::value(double v) {
  QByteArray text = formatDouble(v); // throws before anything is written
  beforeValue();
  out_ += text;
}

void JsonWriter::value(long long v) {
  beforeValue();
  out_ += QByteArray::number(v);
}

void JsonWriter::value(bool v) {
  beforeValue();
  out_ += v ? "true" : "false";
}

void JsonWriter::value(const QString &v) {
  beforeValue();
  writeString(v);
}

void JsonWriter::value(const QUuid &v) { value(v.toString(QUuid::WithoutBraces).toUpper()); }

void JsonWriter::valueBase64(const QByteArray &data) { value(QString::fromLatin1(data.toBase64())); }

void JsonWriter::valueUrl(const QUrl &url) { value(url.toString(QUrl::FullyEncoded)); }

void JsonWriter::nullValue() {
  beforeValue();
  out_ += "null";
}

void JsonWriter::rawValue(const QByteArray &json) {
  beforeValue();
  out_ += json;
}

void JsonWriter::writeString(const QString &s) {
  out_ += '"';
  const QByteArray utf8 = s.toUtf8();
  for (char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
    case '"': out_ += "\\\""; break;
    case '\\': out_ += "\\\\"; break;
    case '\n': out_ += "\\n"; break;
    case '\r': out_ += "\\r"; break;
    case '\t': out_ += "\\t"; break;
    case '\b': out_ += "\\b"; break;
    case '\f': out_ += "\\f"; break;
    default:
      if (c < 0x20) {
        char esc[8];
        std::snprintf(esc, sizeof esc, "\\u%04x", c);
        out_ += esc;
      } else {
        out_ += ch;
      }
    }
  }
  out_ += '"';
}

QByteArray JsonWriter::take() {
  if (!stack_.empty() || !done_)
    throw JsonEncodingError("incomplete JSON document");
  QByteArray result;
  result.swap(out_);
  done_ = false;
  return result;
}

} // namespace crel
