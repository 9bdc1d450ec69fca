#pragma once

#include <QString>

#include <exception>
#include <string>

namespace crel {

// The user-facing error: every case carries a complete sentence.
class CrelError : public std::exception {
public:
  enum class Kind { capture, shortcut, rendering, clipboard, invalidImage };

  static CrelError capture(const QString &message) { return {Kind::capture, message}; }
  static CrelError shortcut(const QString &message) { return {Kind::shortcut, message}; }
  static CrelError rendering() { return {Kind::rendering, {}}; }
  // The image was rendered, but the clipboard did not take it.
  static CrelError clipboard() { return {Kind::clipboard, {}}; }
  static CrelError invalidImage() { return {Kind::invalidImage, {}}; }
  // An image refused for a reason the fixed sentence does not give.
  static CrelError invalidImage(const QString &message) { return {Kind::invalidImage, message}; }

  Kind kind() const { return kind_; }
  // The carried message for capture, shortcut and a described invalid
  // image; the fixed sentence otherwise.
  QString errorDescription() const;
  const char *what() const noexcept override { return utf8_.c_str(); }

  // The user-facing sentence of any error this system throws; `fallback`
  // for errors that carry none.
  static QString describe(const std::exception_ptr &error, const QString &fallback);

  friend bool operator==(const CrelError &a, const CrelError &b) {
    return a.kind_ == b.kind_ && a.message_ == b.message_;
  }

private:
  CrelError(Kind kind, const QString &message);
  Kind kind_;
  QString message_;
  std::string utf8_;
};

} // namespace crel
