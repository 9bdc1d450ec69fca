#include "RuntimeFolder.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace crel {

namespace {

// Made 0700 when missing; what is there then must be private, as the folder
// opened (without following a link) shows, not as the name looked before.
QString prepared(const QString &path) {
  ::mkdir(QFile::encodeName(path).constData(), 0700);
  return RuntimeFolder::isPrivate(path) ? path : QString();
}

// The home the password database gives, not $HOME.
QString usersHome() {
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd *found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/')
    return QFile::decodeName(found->pw_dir);
  return QDir::homePath();
}

} // namespace

bool RuntimeFolder::isPrivate(const QString &path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    return false;
  struct stat info {};
  const bool ours =
      ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 0077) == 0;
  ::close(fd);
  return ours;
}

QString RuntimeFolder::path(const QString &identifier, const QString &temporaryDirectory,
                            const QString &cacheDirectory) {
  if (QString folder = prepared(temporaryDirectory + QLatin1Char('/') + identifier + QLatin1Char('-') +
                                QString::number(::geteuid()));
      !folder.isEmpty())
    return folder;
  // The user's own cache: nobody else can have made a name there.
  if (cacheDirectory.isEmpty() || !QDir::isAbsolutePath(cacheDirectory))
    return {};
  const QString parent = cacheDirectory + QLatin1Char('/') + identifier;
  QDir().mkpath(parent);
  return prepared(parent + QStringLiteral("/runtime"));
}

QString RuntimeFolder::path(const QString &identifier) {
  if (const QString testBed = qEnvironmentVariable("CREL_RUNTIME_DIR"); !testBed.isEmpty())
    return QDir::isAbsolutePath(testBed) ? prepared(testBed) : QString();
  return path(identifier, QStringLiteral("/tmp"), usersHome() + QStringLiteral("/.cache"));
}

QString RuntimeFolder::otherPlace(const QString &identifier) {
  if (!qEnvironmentVariableIsEmpty("CREL_RUNTIME_DIR"))
    return {};
  const QString cache = usersHome() + QStringLiteral("/.cache/") + identifier + QStringLiteral("/runtime");
  return cache != path(identifier) && isPrivate(cache) ? cache : QString();
}

} // namespace crel
