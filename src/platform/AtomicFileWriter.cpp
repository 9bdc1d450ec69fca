#include "AtomicFileWriter.h"

#include "FileError.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crel {

namespace {

// Closes and removes the temporary file unless it was handed over.
class TemporaryFile {
public:
  explicit TemporaryFile(const QString &target) {
    const QFileInfo info(target);
    name_ = QFile::encodeName(info.absolutePath() + "/." + info.fileName() + ".XXXXXX");
    fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
  }
  ~TemporaryFile() {
    if (fd_ >= 0)
      ::close(fd_);
    if (!kept_)
      ::unlink(name_.constData());
  }
  TemporaryFile(const TemporaryFile &) = delete;
  TemporaryFile &operator=(const TemporaryFile &) = delete;

  int fd() const { return fd_; }
  const char *name() const { return name_.constData(); }
  // Closes, reporting the error a delayed write may only show here.
  int close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }
  void keep() { kept_ = true; }

private:
  QByteArray name_;
  int fd_ = -1;
  bool kept_ = false;
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

void AtomicFileWriter::write(const QString &path, const QByteArray &data, Existing existing, mode_t mode) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  if (existing == Existing::refuse && QFileInfo::exists(absolute))
    throw FileError::savingFile(EEXIST, absolute);
  TemporaryFile temporary(absolute);
  if (temporary.fd() < 0)
    throw FileError::savingFile(errno, absolute);
  if (::fchmod(temporary.fd(), mode) != 0 || !writeAll(temporary.fd(), data.constData(), data.size()) ||
      ::fsync(temporary.fd()) != 0 || temporary.close() != 0)
    throw FileError::savingFile(errno, absolute);
  const QByteArray target = QFile::encodeName(absolute);
  const int rc = existing == Existing::refuse ? renameNoReplace(temporary.name(), target.constData())
                                              : ::rename(temporary.name(), target.constData());
  if (rc != 0)
    throw FileError::savingFile(errno, absolute);
  temporary.keep();
  syncFolder(QFileInfo(absolute).absolutePath());
}

} // namespace crel
