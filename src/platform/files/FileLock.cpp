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

#include <utility>

namespace crel {

namespace {

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
  return fd;
}

FileError openingFailed(const QString &path) {
  const int error = errno;
  return FileError(crel::tr("The lock file %1 could not be opened: %2.").arg(path, qt_error_string(error)), path,
                   error);
}

} // namespace

FileLock::FileLock(const QString &path) : fd_(openLockFile(path, O_RDWR | O_CREAT)) {
  if (fd_ < 0)
    throw openingFailed(path);
}

FileLock FileLock::onFolder(const QString &path) {
  FileLock lock;
  lock.fd_ = openLockFile(path, O_RDONLY | O_DIRECTORY);
  if (lock.fd_ < 0)
    throw openingFailed(path);
  return lock;
}

FileLock::FileLock(FileLock &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock &FileLock::operator=(FileLock &&other) noexcept {
  if (this != &other) {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FileLock::~FileLock() {
  if (fd_ >= 0)
    ::close(fd_);
}

bool FileLock::tryLock(Mode mode) {
  if (fd_ < 0)
    return false;
  const int operation = (mode == Mode::shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
  int result = 0;
  do
    result = ::flock(fd_, operation);
  while (result != 0 && errno == EINTR);
  return result == 0;
}

bool FileLock::lock(Mode mode, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  while (!tryLock(mode)) {
    if (fd_ < 0 || deadline.hasExpired())
      return false;
    ::usleep(50'000);
  }
  return true;
}

void FileLock::unlock() {
  if (fd_ >= 0)
    ::flock(fd_, LOCK_UN);
}

bool FileLock::isHeld(const QString &path) {
  const int fd = openLockFile(path, O_RDONLY);
  if (fd < 0)
    return false;
  const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return !free;
}

} // namespace crel
