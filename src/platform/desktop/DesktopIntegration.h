#pragma once

#include "LauncherLink.h"
#include "MimeDefaults.h"

#include <QByteArray>
#include <QString>

namespace crel {

// The applications-menu entry and icon of an installed copy, under the
// user's XDG data folder: applications/<identifier>.desktop, made from the
// bundle's Resources/crel.desktop with Exec, TryExec and Icon naming this
// copy (through its launcher link when its path is not plain), and the icon
// as icons/hicolor/<size>/apps/<identifier>.{png,svg}.
// The desktop then lists the application and offers it in "Open With"; the
// entry's Exec line reaches the running instance like any later launch.
class DesktopIntegration {
public:
  struct Location {
    QString dataHome;            // $XDG_DATA_HOME
    QString identifier;          // names the entry and the icon
    QString name;                // the entry's Name
    QString bundleDirectory;     // canonical bundle root
    MimeDefaults::Location mime; // where the desktop keeps its default applications
  };

  explicit DesktopIntegration(Location location);
  // This session's data folder and this bundle.
  static Location forThisProcess();

  QString entryPath() const;
  // The menu entry of a copy with `identifier` under `dataHome`.
  static QString entryPath(const QString &dataHome, const QString &identifier);
  // The entry for this copy; throws FileError when the bundle has no
  // template or its path cannot be held in an Exec line.
  QByteArray entryText() const;

  // Writes the entry and the icons where they differ from this copy's: the
  // first time, or because the copy moved or was updated. An entry the user
  // removed stays removed unless `firstTime`. The first time, before the
  // entry exists, the desktop's current default for each of its types is
  // written down where no list names one, so the entry only joins "Open
  // With". Returns whether anything was written; throws FileError.
  bool install(bool firstTime) const;

private:
  LauncherLink launcherLink() const;

  Location location_;
};

} // namespace crel
