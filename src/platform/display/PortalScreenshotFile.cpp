#include "PortalScreenshotFile.h"

#include "platform/files/OwnedDescriptor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace crel {

Q_DECLARE_LOGGING_CATEGORY(lcPortal)

namespace PortalScreenshotFile {

namespace {

bool within(const QString &folder, const QString &root) {
  const QString canonical = QDir(root).canonicalPath();
  return !canonical.isEmpty() && (folder == canonical || folder.startsWith(canonical + '/'));
}

// Where a portal leaves a screenshot for the caller to take.
bool temporaryStorage(const QString &folder) {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return (!runtime.isEmpty() && within(folder, runtime)) || within(folder, QDir::tempPath());
}

// Compared at the resolution the file system stamps with, which shows in the
// stamp's trailing zeros: one that keeps whole seconds dates a file made
// just after the request into the second before it.
bool bornBefore(timespec birth, timespec requested) {
  long granule = 1;
  while (granule < 1'000'000'000L && birth.tv_nsec % (granule * 10) == 0)
    granule *= 10;
  requested.tv_nsec -= requested.tv_nsec % granule;
  return birth.tv_sec != requested.tv_sec ? birth.tv_sec < requested.tv_sec : birth.tv_nsec < requested.tv_nsec;
}

} // namespace

timespec requestTime() {
  // The kernel stamps files by the coarse clock: a finer reading could come
  // out later than the stamp of a file made after it.
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return now;
}

bool removeIfMadeFor(const QString &path, int opened, timespec requested, const BirthTime &birthTime) {
  const QFileInfo file(path);
  const QString folder = file.absoluteDir().canonicalPath();
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  // The document portal shows the user's own files there.
  if (!file.isAbsolute() || folder.isEmpty() || (!runtime.isEmpty() && within(folder, runtime + "/doc")))
    return false;
  const OwnedDescriptor directory(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const QByteArray name = QFile::encodeName(file.fileName());
  struct statx named {};
  struct stat held {};
  if (!directory.isOpen() ||
      statx(directory.get(), name.constData(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
            STATX_TYPE | STATX_UID | STATX_NLINK | STATX_INO | STATX_BTIME, &named) != 0 ||
      ::fstat(opened, &held) != 0)
    return false;
  if (!S_ISREG(named.stx_mode) || named.stx_uid != geteuid() || named.stx_nlink != 1 ||
      makedev(named.stx_dev_major, named.stx_dev_minor) != held.st_dev || named.stx_ino != held.st_ino)
    return false;
  if (!temporaryStorage(folder)) {
    std::optional<timespec> birth;
    if (named.stx_mask & STATX_BTIME)
      birth = timespec{named.stx_btime.tv_sec, long(named.stx_btime.tv_nsec)};
    if (birthTime)
      birth = birthTime(birth);
    if (!birth || bornBefore(*birth, requested))
      return false;
  }
  if (unlinkat(directory.get(), name.constData(), 0) != 0) {
    qCWarning(lcPortal) << "could not remove the screenshot" << path << std::strerror(errno);
    return false;
  }
  return true;
}

} // namespace PortalScreenshotFile

} // namespace crel
