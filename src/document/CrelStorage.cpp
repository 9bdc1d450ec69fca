#include "CrelStorage.h"

#include "platform/files/AppIdentity.h"
#include "platform/files/UserFolders.h"

#include <QDir>
#include <QFile>

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
  UserFolders::make(directory);
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

QString CrelStorage::defaultDirectory() { return QDir::cleanPath(UserFolders::pictures() + '/' + AppIdentity::name()); }

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
