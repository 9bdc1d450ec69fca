#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace crel {

// Opening a path for reading only when it holds a regular file. The path is
// looked at before it is opened, so a FIFO, socket or device there is never
// opened: it neither blocks nor is touched. The open itself does not wait
// either, and what it opened is checked again, in case the path was replaced
// between the look and the open.
class RegularFile {
public:
  // Whether a symbolic link at the path leads to the file or refuses it.
  enum class Links { follow, refuse };
  enum class Outcome { opened, lookFailed, notRegular, openFailed };

  struct Opened {
    Outcome outcome = Outcome::lookFailed;
    // Open for reading, blocking again, closed on exec: the caller's to close.
    int fd = -1;
    // The errno of a failed look or open.
    int error = 0;
    // The file's size when it was opened.
    qint64 size = 0;

    bool ok() const { return outcome == Outcome::opened; }
  };

  static Opened open(const QString &path, Links links);
  // The whole of a regular file opened that way; absent when the path holds
  // none, it cannot be read, or it holds more than `maxBytes` (when given).
  static std::optional<QByteArray> read(const QString &path, Links links, qint64 maxBytes = -1);
  // The same for a path in the file system's own bytes, such as a name read from a folder.
  static Opened open(const QByteArray &native, Links links);
};

} // namespace crel
