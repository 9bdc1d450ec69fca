#include "PrivateFile.h"

#include "platform/files/AtomicFileWriter.h"
#include "platform/files/FileError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

namespace crel::update {

void PrivateFile::makeFolder(const QString &folder) {
  const QString absolute = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
  const QString parent = QFileInfo(absolute).absolutePath();
  errno = 0;
  if (!QDir().mkpath(parent)) {
    // mkdir's own reason when there is one (a full disk is not a permission problem).
    const int error = errno == ENOSPC || errno == EDQUOT || errno == EROFS ? errno : 0;
    throw FileError::creatingFolder(error ? error : QFileInfo(parent).isDir() ? EACCES : ENOTDIR, parent);
  }
  const QByteArray native = QFile::encodeName(absolute);
  if (::mkdir(native.constData(), 0700) == 0)
    return;
  const int error = errno;
  struct stat st {};
  if (error == EEXIST && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
    return;
  throw FileError::creatingFolder(error, absolute);
}

void PrivateFile::write(const QString &path, const QByteArray &data) {
  makeFolder(QFileInfo(path).absolutePath());
  AtomicFileWriter::write(path, data, AtomicFileWriter::Existing::replace, 0600);
}

} // namespace crel::update
