#pragma once

#include <QString>

namespace crel {

// The user's own folder for the instance lock, the copy's lock and the
// instance socket: a folder (not a link) of this user, closed to everyone
// else, checked after it is opened. Every launch of the user must find the
// same one, or one instance per display is lost, so the places are fixed:
// $XDG_RUNTIME_DIR/<identifier> when that folder is private; else
// <temporary folder>/<identifier>-<uid>; where that name is someone else's
// (another user made it first, open to others, or a link),
// <cache>/<identifier>/runtime.
class RuntimeFolder {
public:
  // Empty when none of the places can be made safe.
  static QString path(const QString &identifier);
  // The same over given places; empty `runtimeDirectory`: none.
  static QString path(const QString &identifier, const QString &runtimeDirectory, const QString &temporaryDirectory,
                      const QString &cacheDirectory);
  // Whether `path` is a folder of ours, not a link, closed to others.
  static bool isPrivate(const QString &path);
};

} // namespace crel
