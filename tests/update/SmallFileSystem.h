#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/mount.h>
#include <sys/statvfs.h>

// A tmpfs of `bytes` mounted on an existing folder for the object's life, so
// that disk-full paths run against a real file system. Mounting needs root
// (CI runs as root); elsewhere mounted() is false and the caller skips.
class SmallFileSystem {
public:
  SmallFileSystem(const QString &folder, qint64 bytes) : folder_(QFile::encodeName(folder)) {
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
    mounted_ = ::mount("tmpfs", folder_.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted_)
      ::umount2(folder_.constData(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem &) = delete;
  SmallFileSystem &operator=(const SmallFileSystem &) = delete;

  bool mounted() const { return mounted_; }
  qint64 usedBytes() const {
    struct statvfs s {};
    return ::statvfs(folder_.constData(), &s) == 0 ? qint64(s.f_blocks - s.f_bfree) * qint64(s.f_frsize) : -1;
  }

private:
  QByteArray folder_;
  bool mounted_ = false;
};
