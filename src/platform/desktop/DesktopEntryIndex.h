#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace crel {

// Application names from the desktop entries (*.desktop) of the XDG
// application folders: what a launcher shows for a running program.
class DesktopEntryIndex {
public:
  // Reads every entry below `folders`, earlier folders winning, names in
  // `localeName` (e.g. "de_DE") where an entry has them.
  DesktopEntryIndex(const QStringList &folders, const QString &localeName);

  // The folders and locale of this session, read once.
  static const DesktopEntryIndex &system();

  // The name for a window's WM_CLASS (class and instance) or the program
  // file that runs it; empty when no entry matches.
  QString applicationName(const QString &wmClass, const QString &wmInstance, const QString &executable) const;

private:
  void read(const QString &path, const QString &localeName);

  QHash<QString, QString> byWindowClass_; // StartupWMClass, lower case
  QHash<QString, QString> byFileId_;      // file name without ".desktop", lower case
  QHash<QString, QString> byExecutable_;  // base name of Exec's program
};

} // namespace crel
