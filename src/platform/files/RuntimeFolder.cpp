#include "RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QMutex>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace crel {

namespace {

Q_LOGGING_CATEGORY(lcRuntime, "crel.runtime")

// What was said since a private folder was last found: the instance asks at
// every check while none can be had, and a finding that lasts is said once.
QMutex saidMutex;
QStringList said;

void warn(const QString &line) {
  const QMutexLocker locker(&saidMutex);
  if (said.contains(line))
    return;
  said << line;
  qCWarning(lcRuntime).noquote() << line;
}

QString found(const QString &folder) {
  const QMutexLocker locker(&saidMutex);
  said.clear();
  return folder;
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

// Why nobody but us can change what `path` names, or empty when so: a folder
// of ours that group and others may not write, or our own link to one.
QString changeableBecause(const QString &path) {
  const QByteArray name = QFile::encodeName(path);
  struct stat info {};
  if (::lstat(name.constData(), &info) != 0)
    return qt_error_string(errno);
  if (S_ISLNK(info.st_mode)) {
    if (info.st_uid != ::geteuid())
      return QStringLiteral("a link of another user");
    if (::stat(name.constData(), &info) != 0)
      return QStringLiteral("a link to nothing");
  }
  if (!S_ISDIR(info.st_mode))
    return QStringLiteral("not a folder");
  if (info.st_uid != ::geteuid())
    return QStringLiteral("a folder of another user");
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return QStringLiteral("a folder others may write");
  return {};
}

// The cache place, when every folder from the cache folder down is one
// nobody else can change: another user who could swap one could give a
// later launch another folder, and with it a second instance.
QString cachePlace(const QString &cacheDirectory, const QString &identifier, bool create) {
  if (cacheDirectory.isEmpty() || !QDir::isAbsolutePath(cacheDirectory))
    return {};
  const QString parent = cacheDirectory + QLatin1Char('/') + identifier;
  for (const QString &folder : {cacheDirectory, parent}) {
    if (create)
      ::mkdir(QFile::encodeName(folder).constData(), 0700);
    if (const QString why = changeableBecause(folder); !why.isEmpty()) {
      if (create)
        warn("no runtime folder in the cache: " + folder + " is " + why);
      return {};
    }
  }
  const QString runtime = parent + QStringLiteral("/runtime");
  if (!create)
    return runtime;
  const QString folder = RuntimeFolder::prepared(runtime);
  if (folder.isEmpty())
    warn("no runtime folder in the cache: " + runtime + " is not a private folder");
  return folder;
}

} // namespace

// What is there after the mkdir must be private, as the folder opened
// (without following a link) shows, not as the name looked before.
QString RuntimeFolder::prepared(const QString &path) {
  ::mkdir(QFile::encodeName(path).constData(), 0700);
  return isPrivate(path) ? path : QString();
}

bool RuntimeFolder::isPrivate(const QString &path) { return PrivateFolder(path).isOpen(); }

QString RuntimeFolder::path(const QString &identifier, const QString &temporaryDirectory,
                            const QString &cacheDirectory) {
  if (QString folder = prepared(temporaryDirectory + QLatin1Char('/') + identifier + QLatin1Char('-') +
                                QString::number(::geteuid()));
      !folder.isEmpty())
    return found(folder);
  // The user's own cache: nobody else can have made a name there.
  const QString folder = cachePlace(cacheDirectory, identifier, true);
  if (!folder.isEmpty())
    return found(folder);
  warn(QStringLiteral("no private runtime folder: instances and copies cannot see each other"));
  return {};
}

QString RuntimeFolder::path(const QString &identifier) {
  if (const QString testBed = qEnvironmentVariable("CREL_RUNTIME_DIR"); !testBed.isEmpty())
    return QDir::isAbsolutePath(testBed) ? prepared(testBed) : QString();
  return path(identifier, QStringLiteral("/tmp"), usersHome() + QStringLiteral("/.cache"));
}

QString RuntimeFolder::otherPlace(const QString &identifier) {
  if (!qEnvironmentVariableIsEmpty("CREL_RUNTIME_DIR"))
    return {};
  const QString cache = cachePlace(usersHome() + QStringLiteral("/.cache"), identifier, false);
  return !cache.isEmpty() && cache != path(identifier) && isPrivate(cache) ? cache : QString();
}

PrivateFolder::PrivateFolder(const QString &path)
    : fd_(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) {
  if (fd_.isOpen() && !isPrivate())
    fd_.reset();
}

bool PrivateFolder::isPrivate() const {
  struct stat info {};
  return fd_.isOpen() && ::fstat(fd_.get(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
         (info.st_mode & 0077) == 0;
}

QString PrivateFolder::entry(const QString &name) const {
  return QStringLiteral("/proc/self/fd/%1/").arg(fd_.get()) + name;
}

} // namespace crel
