#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <stdexcept>
#include <string_view>
#include <vector>

namespace crel {

// Raised when a value has no JSON form (NaN or infinity); the whole encoding fails.
class JsonEncodingError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Streaming JSON writer that keeps keys in the order they are written, writes
// doubles in their shortest round-trip form and refuses non-finite numbers.
// Output is compact (no whitespace), byte-stable for identical input.
class JsonWriter {
public:
  void beginObject();
  void endObject();
  void beginArray();
  void endArray();
  void key(std::string_view name);

  void value(double v);
  void value(int v) { value(static_cast<long long>(v)); }
  void value(long long v);
  void value(bool v);
  void value(const QString &v);
  void value(const char *v) { value(QString::fromUtf8(v)); }
  void value(const QUuid &v); // canonical upper-case form
  void valueBase64(const QByteArray &data);
  void valueUrl(const QUrl &url); // absolute, fully encoded
  void nullValue();
  // A value already encoded as compact JSON (kept from a file read earlier).
  void rawValue(const QByteArray &json);

  // Key + value in one call, for the common case.
  template <class T> void field(std::string_view name, const T &v) {
    key(name);
    value(v);
  }

  // The finished document; throws when containers are still open.
  QByteArray take();

  static QByteArray formatDouble(double v);

private:
  void beforeValue();
  void writeString(const QString &s);

  QByteArray out_;
  struct Level {
    bool object;
    bool empty;
    bool expectingValue;
  };
  std::vector<Level> stack_;
  bool done_ = false;
};

} // namespace crel
