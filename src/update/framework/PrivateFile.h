#pragma once

#include <QByteArray>
#include <QString>

namespace crel::update {

// Files only their owner may read (downloads, install jobs, results, the
// update session): the folder that holds them is created 0700 and each file
// is written atomically, 0600 from its first byte (see AtomicFileWriter).
class PrivateFile {
public:
  // Creates missing parents as usual and `folder` itself as 0700; a folder
  // that already exists is left as it is. Throws FileError.
  static void makeFolder(const QString &folder);
  // makeFolder of the file's folder, then an atomic 0600 write that replaces
  // any file of that name. Throws FileError; nothing is left on failure.
  static void write(const QString &path, const QByteArray &data);
};

} // namespace crel::update
