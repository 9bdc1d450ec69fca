#include "CrelStorage.h"

#include "platform/files/AppIdentity.h"
#include "platform/files/FileError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>

namespace crel {

namespace {

// Any directory entry, a dangling link included. Other failures (a name too
// long, say) count as free: the write that follows reports them.
bool isEntry(const QString &path) {
  struct stat st {};
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

QString CrelStorage::prepareDirectory(const QString &directory) {
  const QString absolute = QDir::cleanPath(QFileInfo(directory).absoluteFilePath());
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
  return directory;
}

QString CrelStorage::availableURL(const QString &directory, const QString &stem) {
  prepareDirectory(directory);
  // A separator in the stem would leave the folder.
  QString name = stem;
  name.replace('/', ' ');
  const QDir folder(directory);
  QString candidate = folder.filePath(name + ".png");
  for (int n = 2; isEntry(candidate); ++n)
    candidate = folder.filePath(name + " (" + QString::number(n) + ").png");
  return candidate;
}

QString CrelStorage::defaultDirectory() {
  QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (pictures.isEmpty())
    pictures = QDir::homePath() + "/Pictures";
  return QDir::cleanPath(pictures + '/' + AppIdentity::name());
}

QString CrelStorage::defaultDirectoryDisplayPath() { return displayPath(defaultDirectory()); }

QString CrelStorage::displayPath(const QString &raw) {
  const QString path = QDir::cleanPath(raw);
  const QString home = QDir::cleanPath(QDir::homePath());
  if (home == "/" || home.isEmpty())
    return path;
  if (path == home)
    return "~";
  if (path.startsWith(home + '/'))
    return '~' + path.mid(home.size());
  return path;
}

} // namespace crel
