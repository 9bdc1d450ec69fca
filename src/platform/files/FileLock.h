#pragma once

#include "OwnedDescriptor.h"

#include <QString>

namespace crel {

// An advisory lock (flock) on a file of our own. The file is opened without
// following a link and close-on-exec, so a child process never inherits the
// lock by accident; the kernel drops it when the holder dies, so a killed
// holder leaves nothing to take over.
//
// A lock file can be removed or replaced while held (a cleaner of temporary
// files); a lock on the old file then guards nothing. So whoever removes a
// lock file does so only while holding it exclusively (removeIfFree), and
// every taker checks after locking that the file it holds is still the one
// at the path, taking the new one otherwise. Lock files carry the sticky
// bit, which keeps the cleaners that honour it away.
class FileLock {
public:
  enum class Mode { shared, exclusive };

  FileLock() = default;
  // Opens `path`, creating it 0600. Throws FileError when it cannot be
  // opened or is not a regular file (a link, a FIFO planted there).
  explicit FileLock(const QString &path);
  // A folder of our own as the lock (nothing is added to it).
  static FileLock onFolder(const QString &path);

  bool isOpen() const { return fd_.isOpen(); }
  int descriptor() const { return fd_.get(); }

  // Without waiting: true once held. False when another holder stands in
  // the way (isBusy()) or when the lock cannot be had at all: error() says
  // why (ENOLCK on a file system without locks, a file that went away and
  // cannot be made again).
  bool tryLock(Mode mode);
  // Waits up to `timeoutMs` (polling; the wait can be given up) while the
  // lock is busy; a failure ends the wait at once.
  bool lock(Mode mode, int timeoutMs);
  void unlock();
  // After a false tryLock() or lock(): whether another holder was in the way.
  bool isBusy() const;
  // The error of the last tryLock() or lock(); 0 after success.
  int error() const { return error_; }
  // Whether the descriptor is still the file at the path.
  bool isCurrent() const;

  // Removes the lock file at `path` if nobody holds it: under an exclusive
  // lock on that very file, and only when `removable` (asked under the lock,
  // given the file's descriptor) agrees. Whether it was removed.
  template <class Removable> static bool removeIfFree(const QString &path, Removable removable) {
    FileLock lock;
    if (!lock.openExisting(path) || !lock.tryLock(Mode::exclusive) || !removable(lock.fd_.get()))
      return false;
    return lock.removeHeld();
  }

private:
  bool openExisting(const QString &path);
  bool removeHeld();

  OwnedDescriptor fd_;
  int error_ = 0;
  QString path_; // empty for a folder: it is never taken again
};

} // namespace crel
