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

  // The installed application the desktop picks for `type` where no list
  // names one, leaving out `except` (a desktop file id); none when no other
  // application takes the type.
  std::optional<QString> chosen(const QString &type, const QString &except) const;

  // For each type no list names an installed default for (as xdg-mime reads
  // them), makes the one the desktop picks without `ownId` the default in the
  // user's mimeapps.list, so installing that entry changes no default: first
  // in the type's line where the list has one, else on a new line, never a
  // second line for a type. The list is edited where it lives, behind its
  // links, and keeps its mode; one that cannot be edited safely is left alone
  // and logged. Returns the types written; throws FileError.
  QStringList keep(const QStringList &types, const QString &ownId) const;

private:
  QStringList listFiles() const;
  QStringList applicationFolders() const;
  bool installed(const QString &id) const;
  // What the lists give `type`, `ownId` counted as installed: whether
  // xdg-mime finds an installed default there (it reads the first
  // application of a line only), and the installed one gio takes (the first
  // of any line, in list order).
  struct Listed {
    bool byXdgMime = false;
    std::optional<QString> byGio;
  };
  Listed listedDefault(const QString &type, const QString &ownId) const;

  Location location_;
};

} // namespace crel
