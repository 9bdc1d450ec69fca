#include "OwnedDescriptor.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace crel {

void OwnedDescriptor::reset(int fd) {
  if (fd_ >= 0 && fd_ != fd)
    ::close(fd_);
  fd_ = fd;
}

bool OwnedDescriptor::isAt(const QString &path) const {
  struct stat held {};
  struct stat named {};
  return fd_ >= 0 && ::fstat(fd_, &held) == 0 && ::lstat(QFile::encodeName(path).constData(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

} // namespace crel
