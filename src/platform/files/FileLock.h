#pragma once

#include <QString>

namespace crel {

// An advisory lock (flock) on a file of our own. The file is opened without
// following a link and close-on-exec, so a child process never inherits the
// lock by accident; the kernel drops it when the holder dies, so a killed
// holder leaves nothing to take over.
class FileLock {
public:
  enum class Mode { shared, exclusive };

  FileLock() = default;
  // Opens `path`, creating it 0600. Throws FileError when it cannot be
  // opened or is not a regular file (a link, a FIFO planted there).
  explicit FileLock(const QString &path);
  // A folder of our own as the lock (nothing is added to it).
  static FileLock onFolder(const QString &path);
  FileLock(FileLock &&other) noexcept;
  FileLock &operator=(FileLock &&other) noexcept;
  FileLock(const FileLock &) = delete;
  FileLock &operator=(const FileLock &) = delete;
  ~FileLock();

  bool isOpen() const { return fd_ >= 0; }
  int descriptor() const { return fd_; }

  // Without waiting: false when another holder stands in the way.
  bool tryLock(Mode mode);
  // Waits up to `timeoutMs` (polling; the wait can be given up).
  bool lock(Mode mode, int timeoutMs);
  void unlock();

  // Whether any process holds a lock on the file at `path`; false when
  // there is no such file.
  static bool isHeld(const QString &path);

private:
  int fd_ = -1;
};

} // namespace crel
