#include "AtomicFileWriter.h"

#include "FileError.h"
#include "RegularFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crel {

namespace {

constexpr QLatin1StringView temporarySuffix(".crel-tmp");

bool isTemporaryName(const QString &name) {
  return name.size() > 1 + temporarySuffix.size() && name.startsWith('.') && name.endsWith(temporarySuffix);
}

// Whether the descriptor still holds the file that the name leads to.
bool sameFile(int fd, const char *path) {
  struct stat open {
  }, named{};
  return ::fstat(fd, &open) == 0 && ::lstat(path, &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

// Takes the lock a writer holds on its temporary file, waiting a while for a
// writer of the same target to finish. False with errno set otherwise.
bool lockWaiting(int fd) {
  for (int waited = 0;; ++waited) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
      return true;
    if (errno == EINTR)
      continue;
    if (errno != EWOULDBLOCK || waited == 5000)
      return false;
    const timespec pause{0, 2'000'000};
    ::nanosleep(&pause, nullptr);
  }
}

// Removes what killed writers left in the folder: temporary files of our
// naming that no writer holds locked. Nothing else is ever touched.
void removeLeftovers(const QString &folder) {
  DIR *dir = ::opendir(QFile::encodeName(folder).constData());
  if (!dir)
    return;
  while (const dirent *entry = ::readdir(dir)) {
    if (!isTemporaryName(QFile::decodeName(entry->d_name)))
      continue;
    const QByteArray path = QFile::encodeName(folder) + '/' + entry->d_name;
    const RegularFile::Opened opened = RegularFile::open(path, RegularFile::Links::refuse);
    if (!opened.ok())
      continue;
    if (::flock(opened.fd, LOCK_EX | LOCK_NB) == 0 && sameFile(opened.fd, path.constData()))
      ::unlink(path.constData());
    ::close(opened.fd);
  }
  ::closedir(dir);
}

// The target's temporary file, created afresh and locked; removed again
// unless it was renamed into place.
class TemporaryFile {
public:
  TemporaryFile(const QString &target, mode_t createMode) {
    const QFileInfo info(target);
    name_ = QFile::encodeName(info.absolutePath() + "/." + info.fileName() + temporarySuffix);
    for (int attempt = 0; attempt < 100; ++attempt) {
      int fd = ::open(name_.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode);
      const bool created = fd >= 0;
      if (!created) {
        if (errno != EEXIST)
          return;
        // Another writer's, or a leftover: wait for its lock, then start afresh.
        fd = ::open(name_.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
          if (errno == ENOENT)
            continue;
          return;
        }
      }
      if (!lockWaiting(fd)) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return;
      }
      if (!sameFile(fd, name_.constData())) {
        ::close(fd); // renamed into place or removed meanwhile
        continue;
      }
      if (!created) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
          ::close(fd);
          errno = EEXIST;
          return;
        }
        ::unlink(name_.constData());
        ::close(fd);
        continue;
      }
      fd_ = fd;
      return;
    }
    errno = EBUSY;
  }
  ~TemporaryFile() {
    if (fd_ < 0)
      return;
    if (!renamed_)
      ::unlink(name_.constData());
    ::close(fd_); // releases the lock last
  }
  TemporaryFile(const TemporaryFile &) = delete;
  TemporaryFile &operator=(const TemporaryFile &) = delete;

  int fd() const { return fd_; }
  const char *name() const { return name_.constData(); }
  void renamed() { renamed_ = true; }

private:
  QByteArray name_;
  int fd_ = -1;
  bool renamed_ = false;
};

bool writeAll(int fd, const char *data, qsizetype size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, std::size_t(std::min<qsizetype>(size, 1 << 30)));
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    data += n;
    size -= n;
  }
  return true;
}

// Renames without replacing: renameat2 where the file system supports it, else
// a hard link, which fails on an existing name just as atomically; on file
// systems with neither, a check just before a plain rename.
int renameNoReplace(const char *from, const char *to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
    return -1;
#endif
  if (::link(from, to) == 0) {
    ::unlink(from);
    return 0;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP)
    return -1;
  struct stat st;
  if (::lstat(to, &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from, to);
}

void syncFolder(const QString &folder) {
  const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd); // durability of the rename only; the data itself is already safe
    ::close(fd);
  }
}

} // namespace

void AtomicFileWriter::write(const QString &path, const QByteArray &data, Existing existing,
                             std::optional<mode_t> mode) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  const QByteArray target = QFile::encodeName(absolute);
  if (existing == Existing::refuse && QFileInfo::exists(absolute))
    throw FileError::savingFile(EEXIST, absolute);
  // A replaced document keeps the mode its owner gave it.
  struct stat current {};
  if (!mode && existing == Existing::replace && ::stat(target.constData(), &current) == 0 && S_ISREG(current.st_mode))
    mode = current.st_mode & 07777;
  removeLeftovers(QFileInfo(absolute).absolutePath());
  // Created 0666 the kernel masks by the umask, as every new document is.
  TemporaryFile temporary(absolute, mode.value_or(0666));
  if (temporary.fd() < 0)
    throw FileError::savingFile(errno, absolute);
  if ((mode && ::fchmod(temporary.fd(), *mode) != 0) || !writeAll(temporary.fd(), data.constData(), data.size()) ||
      ::fsync(temporary.fd()) != 0)
    throw FileError::savingFile(errno, absolute);
  const int rc = existing == Existing::refuse ? renameNoReplace(temporary.name(), target.constData())
                                              : ::rename(temporary.name(), target.constData());
  if (rc != 0)
    throw FileError::savingFile(errno, absolute);
  temporary.renamed();
  syncFolder(QFileInfo(absolute).absolutePath());
}

bool AtomicFileWriter::moveNoReplace(const QString &from, const QString &to) {
  return renameNoReplace(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace crel
