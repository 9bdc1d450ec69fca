#pragma once

#include <QString>

namespace crel::UserFolders {

// The Pictures folder the desktop names (XDG user-dirs) when it names an
// absolute one, else ~/Pictures; not created here. The one lookup of it.
QString pictures();

// The Pictures folder the desktop names where pictures() sets it aside, as
// written, and the file that names it; an empty value where none is.
struct Setting {
  QString value;
  QString file;
};
Setting picturesSetAside();

// Whether the existing `folder` can take a file of `bytes` bytes: not when
// this user may not write it, its file system is read-only, or it has less
// free space than that (how much is then given).
struct Room {
  enum Kind { enough, readOnly, full };
  Kind kind;
  qint64 freeBytes = 0;
};
Room room(const QString &folder, qint64 bytes);

// Creates the folder and any missing parents; succeeds when it already
// exists. Throws FileError naming the folder that could not be made (for
// instance a file in the way).
void make(const QString &folder);

} // namespace crel::UserFolders
