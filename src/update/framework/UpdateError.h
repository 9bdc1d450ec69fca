#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace crel::update {

// The update layer's error codes; callers read them as integers (1001 is
// "no update", which the front end treats as a quiet outcome).
enum class UpdateErrorCode : int {
  appcastParse = 1000,
  noUpdate = 1001,
  appcastFetch = 1002,
  feedSignature = 1003,
  feedIdentity = 1004,
  temporaryDirectory = 2000,
  download = 2001,
  downloadSize = 2002,
  unarchive = 3000,
  signature = 3001,
  validation = 3002,
  install = 4005,
  cancelled = 4007,
  writeNoPermission = 4012,
};

// A failure of the update layer: its code and a complete sentence.
class UpdateError : public std::exception {
public:
  UpdateError(UpdateErrorCode code, const QString &description)
      : code_(code), description_(description), what_(description.toUtf8()) {}

  UpdateErrorCode code() const { return code_; }
  int rawCode() const { return int(code_); }
  const QString &description() const { return description_; }
  const char *what() const noexcept override { return what_.constData(); }

  bool operator==(const UpdateError &other) const { return code_ == other.code_ && description_ == other.description_; }

private:
  UpdateErrorCode code_;
  QString description_;
  QByteArray what_;
};

} // namespace crel::update
