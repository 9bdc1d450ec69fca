#include "FileLock.h"

#include "FileError.h"
#include "platform/base/Translate.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crel {

namespace {

// How often a taker follows a lock file that is replaced under it before it
// gives up: each round needs another removal in the moment between two calls.
constexpr int maximumRetakes = 8;

int openLockFile(const QString &path, int flags) {
  const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0)
    return -1;
  struct stat st {};
  const bool folder = (flags & O_DIRECTORY) != 0;
  if (::fstat(fd, &st) != 0 || !(folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)) || st.st_uid != ::geteuid()) {
    ::close(fd);
    errno = EPERM;
    return -1;
  }
  // Cleaners of runtime and temporary folders pass over sticky files.
  if (!folder && (st.st_mode & S_ISVTX) == 0)
    ::fchmod(fd, (st.st_mode & 0777) | S_ISVTX);
  return fd;
}

FileError openingFailed(const QString &path) {
  const int error = errno;
  return FileError(crel::tr("The lock file %1 could not be opened: %2.").arg(path, qt_error_string(error)), path,
                   error);
}

int flockRetrying(int fd, int operation) {
  int result = 0;
  do
    result = ::flock(fd, operation);
  while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : errno;
}

} // namespace

FileLock::FileLock(const QString &path) : fd_(openLockFile(path, O_RDWR | O_CREAT)), path_(path) {
  if (!fd_.isOpen())
    throw openingFailed(path);
}

FileLock FileLock::onFolder(const QString &path) {
  FileLock lock;
  lock.fd_.reset(openLockFile(path, O_RDONLY | O_DIRECTORY));
  if (!lock.fd_.isOpen())
    throw openingFailed(path);
  return lock;
}

bool FileLock::openExisting(const QString &path) {
  fd_.reset(openLockFile(path, O_RDWR));
  path_ = path;
  return fd_.isOpen();
}

bool FileLock::isCurrent() const { return fd_.isAt(path_); }

bool FileLock::tryLock(Mode mode) {
  if (!fd_.isOpen()) {
    error_ = EBADF;
    return false;
  }
  const int operation = (mode == Mode::shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
  for (int round = 0;; ++round) {
    error_ = flockRetrying(fd_.get(), operation);
    if (error_ != 0 || path_.isEmpty() || isCurrent())
      return error_ == 0;
    // Held, but the file at the path is another one now (or none): a lock
    // on this one guards nothing.
    ::flock(fd_.get(), LOCK_UN);
    if (round == maximumRetakes) {
      error_ = ESTALE;
      return false;
    }
    const int fresh = openLockFile(path_, O_RDWR | O_CREAT);
    if (fresh < 0) {
      error_ = errno;
      return false;
    }
    fd_.reset(fresh);
  }
}

bool FileLock::lock(Mode mode, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  while (!tryLock(mode)) {
    if (!isBusy() || deadline.hasExpired())
      return false;
    ::usleep(50'000);
  }
  return true;
}

void FileLock::unlock() {
  if (fd_.isOpen())
    ::flock(fd_.get(), LOCK_UN);
}

bool FileLock::isBusy() const { return error_ == EWOULDBLOCK; }

bool FileLock::removeHeld() {
  // Takers who opened it before see, once they lock it, that it is gone.
  const bool removed = ::unlink(QFile::encodeName(path_).constData()) == 0;
  fd_.reset();
  return removed;
}

} // namespace crel
