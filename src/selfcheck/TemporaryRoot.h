#pragma once

#include <QDir>
#include <QString>

namespace crel::NativeTests {

// The run's private folder "crel-test-<UUID>" in the temporary directory:
// created owner-only before anything else, removed with its contents on every
// way out. A folder that already exists is never adopted.
class TemporaryRoot {
public:
  // Throws FileError when the folder cannot be created.
  TemporaryRoot();
  // Removal errors are ignored: a leftover folder must not turn a passing run
  // into a failure.
  ~TemporaryRoot();
  TemporaryRoot(const TemporaryRoot &) = delete;
  TemporaryRoot &operator=(const TemporaryRoot &) = delete;

  const QDir &dir() const { return dir_; }
  QString path() const { return dir_.path(); }
  // The path of `relative` inside the root.
  QString filePath(const QString &relative) const { return dir_.filePath(relative); }

private:
  QDir dir_;
};

} // namespace crel::NativeTests
