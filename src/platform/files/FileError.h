#pragma once

#include <QString>

#include <stdexcept>

namespace crel {

// A file-system failure with a complete sentence and the path involved.
class FileError : public std::runtime_error {
public:
  FileError(const QString &message, const QString &path = {}, int errorCode = 0)
      : std::runtime_error(message.toStdString()), message_(message), path_(path), errorCode_(errorCode) {}
  const QString &message() const { return message_; }
  const QString &path() const { return path_; }
  // The errno value behind the sentence; 0 when there is none.
  int errorCode() const { return errorCode_; }

  // The sentence for an errno value met while saving the file at path.
  static FileError savingFile(int errorCode, const QString &path);
  // The sentence for an errno value met while creating the folder at path.
  static FileError creatingFolder(int errorCode, const QString &path);

private:
  QString message_;
  QString path_;
  int errorCode_ = 0;
};

} // namespace crel
