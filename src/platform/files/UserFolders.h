#pragma once

#include <QString>

namespace crel::UserFolders {

// The Pictures folder the desktop names (XDG user-dirs) when it names an
// absolute one, else ~/Pictures; not created here. The one lookup of it.
QString pictures();

// Creates the folder and any missing parents; succeeds when it already
// exists. Throws FileError naming the folder that could not be made (for
// instance a file in the way).
void make(const QString &folder);

} // namespace crel::UserFolders
