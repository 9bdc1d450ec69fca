#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace crel {

// Which application the desktop opens a file type with by default, read the
// way xdg-mime and GLib (and so file managers) read it: a [Default
// Applications] line of a mimeapps.list decides; without one, the first
// application the user added for the type, then the first one a data
// folder's defaults.list or mimeinfo.cache names, user folders first. An
// entry installed in the user's data folder therefore becomes the default of
// every type it declares unless a list says otherwise, which is what
// keepDefaults() prevents.
class MimeDefaults {
public:
  struct Location {
    QString configHome;     // $XDG_CONFIG_HOME
    QStringList configDirs; // $XDG_CONFIG_DIRS
    QString dataHome;       // $XDG_DATA_HOME
    QStringList dataDirs;   // $XDG_DATA_DIRS
    QStringList desktops;   // $XDG_CURRENT_DESKTOP, lower case, for <desktop>-mimeapps.list
  };

  explicit MimeDefaults(Location location);
  static Location forThisProcess();

  // Whether some mimeapps.list names a default for `type`.
  bool listed(const QString &type) const;
  // The installed application the desktop picks for `type` where no list
  // names one, leaving out `except` (a desktop file id); none when no other
  // application takes the type.
  std::optional<QString> chosen(const QString &type, const QString &except) const;

  // For each type no list names a default for, writes the one the desktop
  // picks without `ownId` into the user's mimeapps.list, so installing that
  // entry changes no default. Returns the types written; throws FileError.
  QStringList keep(const QStringList &types, const QString &ownId) const;

private:
  QStringList listFiles() const;
  QStringList applicationFolders() const;
  bool installed(const QString &id) const;

  Location location_;
};

} // namespace crel
