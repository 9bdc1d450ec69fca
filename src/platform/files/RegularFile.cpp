#include "RegularFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crel {

RegularFile::Opened RegularFile::open(const QString &path, Links links) { return open(QFile::encodeName(path), links); }

std::optional<QByteArray> RegularFile::read(const QString &path, Links links, qint64 maxBytes) {
  const Opened opened = open(path, links);
  if (!opened.ok())
    return std::nullopt;
  QFile file;
  if (!file.open(opened.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(opened.fd);
    return std::nullopt;
  }
  // One byte more than allowed tells a file that grew past the cap.
  QByteArray bytes = maxBytes < 0 ? file.readAll() : file.read(maxBytes + 1);
  if (file.error() != QFileDevice::NoError || (maxBytes >= 0 && bytes.size() > maxBytes))
    return std::nullopt;
  return bytes;
}

RegularFile::Opened RegularFile::open(const QByteArray &native, Links links) {
  const bool follow = links == Links::follow;
  Opened result;
  struct stat st {};
  if ((follow ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st)) != 0) {
    result.error = errno;
    return result;
  }
  if (!S_ISREG(st.st_mode)) {
    result.outcome = Outcome::notRegular;
    return result;
  }
  const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
  if (fd < 0) {
    result.outcome = Outcome::openFailed;
    result.error = errno;
    return result;
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    result.outcome = Outcome::notRegular;
    return result;
  }
  // Reads wait for the disk as usual.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    result.error = errno;
    ::close(fd);
    result.outcome = Outcome::openFailed;
    return result;
  }
  result.outcome = Outcome::opened;
  result.fd = fd;
  result.size = qint64(st.st_size);
  return result;
}

} // namespace crel
