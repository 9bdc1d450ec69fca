#pragma once

#include <QString>

namespace crel {

// What the Exec line of a copy's desktop and autostart entries names. The
// program's own path when it is plain; otherwise a link to it with a plain
// path, since launchers disagree on everything else (xdg-open outside a
// desktop it knows runs Exec's first word as it stands, quotes included;
// GLib and dex refuse a "%%"). The link is
// $XDG_DATA_HOME/<identifier>/launchers/crel-<hash of the copy's path>, in a
// folder of ours that only we may enter.
class LauncherLink {
public:
  LauncherLink(const QString &dataHome, const QString &identifier, const QString &bundleDirectory);

  QString executable() const;
  QString path() const;
  // Whether Exec names the link rather than the executable.
  bool isNeeded() const;
  // The program for Exec; throws FileError when the link is needed and the
  // data folder's own path is not plain.
  QString program() const;
  // Makes the link, or points it at this copy again, when it is needed;
  // anything in its place other than a link stays, and is a FileError.
  void make() const;
  // Removes the link; anything else in its place stays.
  void remove() const;

private:
  QString folder_;
  QString bundleDirectory_;
};

} // namespace crel
