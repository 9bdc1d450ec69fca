#pragma once

#include "DesktopEntry.h"
#include "LauncherLink.h"
#include "LoginItemService.h"

#include <QString>
#include <QStringList>

namespace crel {

// The login item as an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/<identifier>.desktop, that starts the bundle's
// executable with --launched-at-login (through its launcher link when its
// path is not plain). A user entry the desktop marked
// hidden or disabled means the user turned it off there; a system-wide
// entry we cannot delete is masked by a hidden user entry of our own.
class AutostartLoginItem final : public LoginItemService {
public:
  struct Location {
    QString configHome;      // $XDG_CONFIG_HOME
    QStringList configDirs;  // $XDG_CONFIG_DIRS, for system-wide entries
    QString identifier;      // names the entry file
    QString name;            // the entry's Name
    QString bundleDirectory; // canonical bundle root
    QString dataHome;        // $XDG_DATA_HOME, where the launcher link lives
  };

  static constexpr const char *loginArgument = "--launched-at-login";

  explicit AutostartLoginItem(Location location);
  // This session's folders and this bundle.
  static Location forThisProcess();

  QString entryPath() const;
  // The program the entry starts: <bundle>/bin/crel.
  QString executable() const;
  // What Exec names for it.
  LauncherLink launcherLink() const;
  // The entry's text; throws FileError when the bundle's path cannot be held.
  QByteArray entryText(bool masked) const;

  LoginItemStatus status() const override;
  void registerItem() override;
  void unregisterItem() override;
  void openSettings() override;

private:
  std::optional<DesktopEntry> systemEntry() const;
  void writeEntry(bool masked) const;

  Location location_;
};

} // namespace crel
