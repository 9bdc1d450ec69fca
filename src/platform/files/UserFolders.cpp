#include "UserFolders.h"

#include "FileError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace crel {

QString UserFolders::pictures() {
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  // Qt expands only a leading $HOME and passes anything else on as written
  // ("~/Bilder", or a value a newline cut short), which would be made
  // relative to the working directory. Not QDir::isAbsolutePath, which takes
  // ":name" for one of Qt's resources.
  return QDir::cleanPath(pictures.startsWith('/') ? pictures : QDir::homePath() + "/Pictures");
}

UserFolders::Setting UserFolders::picturesSetAside() {
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (pictures.startsWith('/'))
    return {};
  return {pictures, QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/user-dirs.dirs"};
}

UserFolders::Room UserFolders::room(const QString &folder, qint64 bytes) {
  const QByteArray native = QFile::encodeName(folder);
  // access() also tells a read-only file system (EROFS), even to root.
  if (::access(native.constData(), W_OK | X_OK) != 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
    return {Room::readOnly};
  struct statvfs fs {};
  if (::statvfs(native.constData(), &fs) != 0 || fs.f_frsize == 0)
    return {Room::enough};
  const quint64 blocks = (quint64(std::max<qint64>(bytes, 0)) + fs.f_frsize - 1) / fs.f_frsize;
  if (fs.f_bavail >= blocks)
    return {Room::enough};
  return {Room::full, qint64(fs.f_bavail * fs.f_frsize)};
}

void UserFolders::make(const QString &folder) {
  const QString absolute = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
  // Component by component, so that the error names the folder that failed.
  QString current;
  for (const QString &part : absolute.split('/', Qt::SkipEmptyParts)) {
    current += '/' + part;
    const QByteArray native = QFile::encodeName(current);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0) {
      if (!S_ISDIR(st.st_mode))
        throw FileError::creatingFolder(ENOTDIR, current);
      continue;
    }
    if (errno != ENOENT)
      throw FileError::creatingFolder(errno, current);
    if (::mkdir(native.constData(), 0777) != 0) {
      const int error = errno;
      // Made by someone else meanwhile is as good as made by us.
      if (error == EEXIST && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        continue;
      throw FileError::creatingFolder(error, current);
    }
  }
}

} // namespace crel
