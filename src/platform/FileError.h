#pragma once

#include <QString>

#include <stdexcept>

namespace crel {

// A file-system failure with a complete sentence and the path involved.
class FileError : public std::runtime_error {
public:
  FileError(const QString &message, const QString &path = {})
      : std::runtime_error(message.toStdString()), message_(message), path_(path) {}
  const QString &message() const { return message_; }
  const QString &path() const { return path_; }

private:
  QString message_;
  QString path_;
};

} // namespace crel
