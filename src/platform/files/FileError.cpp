#include "FileError.h"

#include "platform/base/Translate.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace crel {

namespace {

// The name a person recognises: the last component, or the whole path for "/".
QString displayName(const QString &path) {
  const QString name = QFileInfo(path).fileName();
  return name.isEmpty() ? path : name;
}

QString folderOf(const QString &path) { return displayName(QFileInfo(path).absolutePath()); }

QString systemReason(int errorCode) { return QString::fromLocal8Bit(std::strerror(errorCode)); }

} // namespace

FileError FileError::savingFile(int errorCode, const QString &path) {
  const QString file = displayName(path);
  QString message;
  switch (errorCode) {
  case EEXIST: message = tr("The file “%1” already exists.").arg(file); break;
  case EACCES:
  case EPERM:
    message = tr("You don’t have permission to save the file “%1” in the folder “%2”.").arg(file, folderOf(path));
    break;
  case ENOSPC:
  case EDQUOT: message = tr("The file “%1” couldn’t be saved because the disk is full.").arg(file); break;
  case EROFS: message = tr("The file “%1” couldn’t be saved because the disk is read-only.").arg(file); break;
  case ENOENT:
    message = tr("The file “%1” couldn’t be saved because the folder “%2” doesn’t exist.").arg(file, folderOf(path));
    break;
  case ENOTDIR:
    message = tr("The file “%1” couldn’t be saved because “%2” is not a folder.").arg(file, folderOf(path));
    break;
  case EISDIR:
    message = tr("The file “%1” couldn’t be saved because a folder with that name already exists.").arg(file);
    break;
  default: message = tr("The file “%1” couldn’t be saved: %2.").arg(file, systemReason(errorCode)); break;
  }
  return FileError(message, path, errorCode);
}

FileError FileError::creatingFolder(int errorCode, const QString &path) {
  const QString folder = displayName(path);
  QString message;
  switch (errorCode) {
  case EEXIST:
  case ENOTDIR:
    message = tr("The folder “%1” couldn’t be created because a file with that name is in the way.").arg(folder);
    break;
  case EACCES:
  case EPERM: message = tr("You don’t have permission to create the folder “%1”.").arg(folder); break;
  case ENOSPC:
  case EDQUOT: message = tr("The folder “%1” couldn’t be created because the disk is full.").arg(folder); break;
  case EROFS: message = tr("The folder “%1” couldn’t be created because the disk is read-only.").arg(folder); break;
  default: message = tr("The folder “%1” couldn’t be created: %2.").arg(folder, systemReason(errorCode)); break;
  }
  return FileError(message, path, errorCode);
}

} // namespace crel
