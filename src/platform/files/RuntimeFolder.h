#pragma once

#include "OwnedDescriptor.h"

#include <QString>

namespace crel {

// The user's own folder for the instance locks and sockets, the copies'
// locks and the update session's lock: a folder (not a link) of this user,
// closed to everyone else, checked after it is opened. Every launch of the
// user on this machine must find the same one whatever its environment and
// whenever it starts, or one instance per display and one installer per copy
// are lost. $XDG_RUNTIME_DIR is set in some sessions and not in others, and
// /run/user/<uid> comes with the first login and goes with the last logout,
// so neither decides: the place is /tmp/<identifier>-<uid>; where that name
// is someone else's (another user made it first, open to others, or a link),
// <home>/.cache/<identifier>/runtime, the home being the user's own in the
// password database, used only while every folder from the cache folder down
// is ours and closed to writing by others (a link there ours, to such a
// folder). A test bed keeps its runs apart with $CREL_RUNTIME_DIR.
class RuntimeFolder {
public:
  // Empty when none of the places can be made safe.
  static QString path(const QString &identifier);
  // The same over given places.
  static QString path(const QString &identifier, const QString &temporaryDirectory, const QString &cacheDirectory);
  // Whether `path` is a folder of ours, not a link, closed to others.
  static bool isPrivate(const QString &path);
  // `path`, made 0700 when missing, when it is then private; else empty.
  static QString prepared(const QString &path);
  // The cache place when path() is not it and it is ours already: an
  // instance that started while another user held the temporary name may
  // still run there after that name was let go. Empty otherwise.
  static QString otherPlace(const QString &identifier);
};

// A folder held open once judged private. What lies in it is reached through
// the descriptor (/proc/self/fd/N/name): always this folder whatever its name
// comes to name, and short enough for a socket's address however deep the
// folder is.
class PrivateFolder {
public:
  PrivateFolder() = default;
  // Opened without following a link; left closed unless private then.
  explicit PrivateFolder(const QString &path);

  bool isOpen() const { return fd_.isOpen(); }
  int descriptor() const { return fd_.get(); }
  // Whether it is still ours, closed to others.
  bool isPrivate() const;
  // Whether `path` names this very folder now.
  bool isAt(const QString &path) const { return fd_.isAt(path); }
  // `name` in it, as a short path through the descriptor.
  QString entry(const QString &name) const;

private:
  OwnedDescriptor fd_;
};

} // namespace crel
