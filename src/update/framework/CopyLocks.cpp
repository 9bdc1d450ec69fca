#include "CopyLocks.h"

#include "platform/files/FileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace crel::update::CopyLocks {

namespace {

constexpr qsizetype maximumNameBytes = 4096;

QByteArray readName(int fd) {
  QByteArray bytes(maximumNameBytes + 1, Qt::Uninitialized);
  const ssize_t length = ::pread(fd, bytes.data(), bytes.size(), 0);
  return length > 0 && length <= maximumNameBytes ? bytes.left(length) : QByteArray();
}

} // namespace

void name(FileLock &lock, const QString &bundleDirectory) {
  const QByteArray copy = QFile::encodeName(QDir::cleanPath(QFileInfo(bundleDirectory).absoluteFilePath()));
  if (!lock.isOpen() || readName(lock.descriptor()) == copy)
    return;
  if (::ftruncate(lock.descriptor(), 0) != 0 || ::pwrite(lock.descriptor(), copy.constData(), copy.size(), 0) < 0)
    qWarning("update: the copy's lock cannot name its copy");
}

void removeAbandoned(const QString &runtimeFolder, const QString &keep) {
  if (runtimeFolder.isEmpty())
    return;
  const QDir folder(runtimeFolder);
  for (const QString &entry : folder.entryList({QStringLiteral("copy-*.lock")}, QDir::Files | QDir::Hidden)) {
    const QString path = folder.filePath(entry);
    if (path == keep)
      continue;
    FileLock::removeIfFree(path, [](int fd) {
      const QByteArray copy = readName(fd);
      return copy.isEmpty() || !QFileInfo(QFile::decodeName(copy)).isDir();
    });
  }
}

} // namespace crel::update::CopyLocks
