#include "LauncherLink.h"

#include "DesktopEntry.h"
#include "platform/base/Translate.h"
#include "platform/files/FileError.h"
#include "platform/files/RuntimeFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace crel {

namespace {

bool isPlain(const QString &path) { return DesktopEntry::execArgument(path) == path; }

// Absent: nothing there.
std::optional<bool> isLink(const QString &path) {
  struct stat st {};
  if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
    return std::nullopt;
  return S_ISLNK(st.st_mode);
}

// Made 0700 when missing; one that is a link, another user's or open to
// others is not used.
void makePrivateFolder(const QString &folder) {
  if (!QDir().mkpath(QFileInfo(folder).absolutePath()))
    throw FileError::creatingFolder(EACCES, folder);
  if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
    throw FileError::creatingFolder(errno, folder);
  if (!RuntimeFolder::isPrivate(folder))
    throw FileError::creatingFolder(EACCES, folder);
}

} // namespace

LauncherLink::LauncherLink(const QString &dataHome, const QString &identifier, const QString &bundleDirectory)
    : folder_(dataHome + u'/' + identifier + QStringLiteral("/launchers")), bundleDirectory_(bundleDirectory) {}

QString LauncherLink::executable() const { return bundleDirectory_ + QStringLiteral("/bin/crel"); }

QString LauncherLink::path() const {
  const QByteArray hash = QCryptographicHash::hash(QFile::encodeName(bundleDirectory_), QCryptographicHash::Sha256);
  return folder_ + QStringLiteral("/crel-") + QString::fromLatin1(hash.toHex().left(16));
}

bool LauncherLink::isNeeded() const { return !isPlain(executable()); }

QString LauncherLink::program() const {
  if (!isNeeded())
    return executable();
  if (!isPlain(path()))
    throw FileError(tr("The data folder's location contains characters that desktop entries cannot hold."), folder_);
  return path();
}

void LauncherLink::make() const {
  if (!isNeeded())
    return;
  program();
  makePrivateFolder(folder_);
  const QString link = path();
  if (isLink(link) == false)
    throw FileError::savingFile(EEXIST, link);
  // A new link under a name of its own, then in place at once.
  const QString temporary = link + QStringLiteral(".%1.tmp").arg(::getpid());
  const QByteArray temporaryName = QFile::encodeName(temporary);
  ::unlink(temporaryName.constData());
  if (::symlink(QFile::encodeName(executable()).constData(), temporaryName.constData()) != 0)
    throw FileError::savingFile(errno, link);
  if (::rename(temporaryName.constData(), QFile::encodeName(link).constData()) != 0) {
    const int error = errno;
    ::unlink(temporaryName.constData());
    throw FileError::savingFile(error, link);
  }
}

void LauncherLink::remove() const {
  if (isLink(path()) == true)
    ::unlink(QFile::encodeName(path()).constData());
}

} // namespace crel
