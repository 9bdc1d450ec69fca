#include "DesktopEntryIndex.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

namespace crel {

DesktopEntryIndex::DesktopEntryIndex(const QStringList &folders, const QString &localeName) {
  for (const QString &folder : folders) {
    QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
      read(it.next(), localeName);
  }
}

const DesktopEntryIndex &DesktopEntryIndex::system() {
  static const DesktopEntryIndex index(QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation),
                                       QLocale::system().name());
  return index;
}

void DesktopEntryIndex::read(const QString &path, const QString &localeName) {
  // The same file in an earlier folder overrides this one, even when hidden.
  const QString id = QFileInfo(path).completeBaseName().toLower();
  if (byFileId_.contains(id))
    return;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    return;
  const QString language = localeName.section(u'_', 0, 0);
  QString name, languageName, localName, windowClass, exec;
  bool inEntry = false, hidden = false;
  while (!file.atEnd()) {
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    if (line.startsWith(u'[')) {
      inEntry = line == QLatin1String("[Desktop Entry]");
      continue;
    }
    const qsizetype eq = line.indexOf(u'=');
    if (!inEntry || line.startsWith(u'#') || eq < 0)
      continue;
    const QString key = line.left(eq).trimmed();
    const QString value = line.mid(eq + 1).trimmed();
    if (key == QLatin1String("Name"))
      name = value;
    else if (!localeName.isEmpty() && key == QStringLiteral("Name[%1]").arg(localeName))
      localName = value;
    else if (!language.isEmpty() && key == QStringLiteral("Name[%1]").arg(language))
      languageName = value;
    else if (key == QLatin1String("StartupWMClass"))
      windowClass = value;
    else if (key == QLatin1String("Exec"))
      exec = value;
    else if (key == QLatin1String("Hidden"))
      hidden = value == QLatin1String("true");
  }
  QString shown = !localName.isEmpty() ? localName : !languageName.isEmpty() ? languageName : name;
  if (hidden)
    shown.clear();
  byFileId_.insert(id, shown);
  if (shown.isEmpty())
    return;
  if (!windowClass.isEmpty() && !byWindowClass_.contains(windowClass.toLower()))
    byWindowClass_.insert(windowClass.toLower(), shown);
  const QString program = QFileInfo(exec.section(u' ', 0, 0, QString::SectionSkipEmpty).remove(u'"')).fileName();
  if (!program.isEmpty() && !byExecutable_.contains(program))
    byExecutable_.insert(program, shown);
}

QString DesktopEntryIndex::applicationName(const QString &wmClass, const QString &wmInstance,
                                           const QString &executable) const {
  for (const QString &key : {wmClass.toLower(), wmInstance.toLower()})
    if (!key.isEmpty()) {
      if (auto it = byWindowClass_.constFind(key); it != byWindowClass_.constEnd())
        return *it;
      if (auto it = byFileId_.constFind(key); it != byFileId_.constEnd() && !it->isEmpty())
        return *it;
    }
  const QString program = QFileInfo(executable).fileName();
  if (!program.isEmpty())
    if (auto it = byExecutable_.constFind(program); it != byExecutable_.constEnd())
      return *it;
  return {};
}

} // namespace crel
