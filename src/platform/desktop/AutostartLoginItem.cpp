#include "AutostartLoginItem.h"

#include "DesktopIntegration.h"
#include "FolderOpener.h"
#include "platform/base/DescriptorLimit.h"
#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/AtomicFileWriter.h"
#include "platform/files/FileError.h"
#include "platform/files/ResourceLocator.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <unistd.h>

namespace crel {

namespace {

QString autostartFile(const QString &configDir, const QString &identifier) {
  return configDir + QStringLiteral("/autostart/") + identifier + QStringLiteral(".desktop");
}

// Hidden=true and X-GNOME-Autostart-enabled=false are how desktops record
// that the user switched an entry off.
bool switchedOff(const DesktopEntry &entry) {
  return entry.isTrue(QStringLiteral("Hidden")) || entry.isFalse(QStringLiteral("X-GNOME-Autostart-enabled"));
}

// The program an entry's Exec starts; absent when the quoting is malformed
// or there is none.
std::optional<QString> startedProgram(const std::optional<DesktopEntry> &entry) {
  const std::optional<QStringList> arguments =
      entry ? DesktopEntry::splitExec(entry->value(QStringLiteral("Exec")).value_or(QString())) : std::nullopt;
  if (!arguments || arguments->isEmpty())
    return std::nullopt;
  return arguments->first();
}

} // namespace

AutostartLoginItem::AutostartLoginItem(Location location) : location_(std::move(location)) {}

AutostartLoginItem::Location AutostartLoginItem::forThisProcess() {
  Location location;
  location.configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  const QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
  location.configDirs = dirs.isEmpty() ? QStringList{QStringLiteral("/etc/xdg")} : dirs.split(u':', Qt::SkipEmptyParts);
  location.identifier = AppIdentity::identifier();
  location.name = AppIdentity::name();
  location.bundleDirectory = ResourceLocator::canonicalBundleDirectory();
  location.dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  return location;
}

QString AutostartLoginItem::entryPath() const { return autostartFile(location_.configHome, location_.identifier); }

QString AutostartLoginItem::executable() const { return launcherLink().executable(); }

LauncherLink AutostartLoginItem::launcherLink() const {
  return LauncherLink(location_.dataHome, location_.identifier, location_.bundleDirectory);
}

QByteArray AutostartLoginItem::entryText(bool masked) const {
  if (!DesktopEntry::execArgument(executable()))
    throw FileError(tr("The app's location contains characters that autostart entries cannot hold."),
                    location_.bundleDirectory);
  const std::optional<QString> program = DesktopEntry::execArgument(launcherLink().program());
  QString text = QStringLiteral("[Desktop Entry]\nType=Application\n");
  text += QStringLiteral("Name=") + DesktopEntry::escapeString(location_.name) + u'\n';
  text += QStringLiteral("Exec=") + DesktopEntry::escapeString(*program + u' ' + QLatin1String(loginArgument)) + u'\n';
  const QString icon = location_.bundleDirectory + QStringLiteral("/Resources/icons/hicolor/256x256/apps/crel.png");
  if (QFileInfo(icon).isFile())
    text += QStringLiteral("Icon=") + DesktopEntry::escapeString(icon) + u'\n';
  text += QStringLiteral("Terminal=false\n");
  if (masked)
    text += QStringLiteral("Hidden=true\nX-Crel-Disabled=true\n");
  else
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
  text += QStringLiteral("X-Crel-Identifier=") + DesktopEntry::escapeString(location_.identifier) + u'\n';
  return text.toUtf8();
}

std::optional<DesktopEntry> AutostartLoginItem::systemEntry() const {
  // The first folder that has the file decides, as the desktop reads them.
  for (const QString &dir : location_.configDirs) {
    const QString path = autostartFile(dir, location_.identifier);
    if (QFileInfo::exists(path))
      return DesktopEntry::read(path);
  }
  return std::nullopt;
}

LoginItemStatus AutostartLoginItem::status() const {
  if (!QFileInfo::exists(entryPath())) {
    const std::optional<DesktopEntry> system = systemEntry();
    return system && !switchedOff(*system) ? LoginItemStatus::enabled : LoginItemStatus::notRegistered;
  }
  const std::optional<DesktopEntry> entry = DesktopEntry::read(entryPath());
  if (!entry)
    return LoginItemStatus::notFound;
  if (entry->isTrue(QStringLiteral("Hidden")) && entry->isTrue(QStringLiteral("X-Crel-Disabled")))
    return LoginItemStatus::notRegistered;
  if (switchedOff(*entry))
    return LoginItemStatus::requiresApproval;
  // A path that needs quoting, written by an earlier version, does not start
  // from every desktop: the entry is rewritten as for a copy that moved.
  const std::optional<QString> started = startedProgram(entry);
  if (!started || DesktopEntry::execArgument(*started) != *started)
    return LoginItemStatus::notFound;
  const QFileInfo program(*started); // through the launcher link
  return program.isFile() && program.isExecutable() ? LoginItemStatus::enabled : LoginItemStatus::notFound;
}

void AutostartLoginItem::writeEntry(bool masked) const {
  const QByteArray text = entryText(masked);
  const QString folder = QFileInfo(entryPath()).absolutePath();
  if (!QDir().mkpath(folder))
    throw FileError::creatingFolder(EACCES, folder);
  AtomicFileWriter::write(entryPath(), text, AtomicFileWriter::Existing::replace, 0644);
}

void AutostartLoginItem::registerItem() {
  entryText(false); // nothing made for an entry that cannot be written
  launcherLink().make();
  writeEntry(false);
}

void AutostartLoginItem::unregisterItem() {
  if (systemEntry()) {
    writeEntry(true);
  } else if (::unlink(QFile::encodeName(entryPath()).constData()) != 0 && errno != ENOENT) {
    throw FileError::savingFile(errno, entryPath());
  }
  // The link goes with the entry, unless the desktop entry starts the copy through it too.
  const LauncherLink link = launcherLink();
  const QString menuEntry = DesktopIntegration::entryPath(location_.dataHome, location_.identifier);
  if (startedProgram(DesktopEntry::read(menuEntry)) != link.path())
    link.remove();
}

void AutostartLoginItem::openSettings() {
  for (const char *tool : {"gnome-session-properties", "xfce4-session-settings"}) {
    const QString program = QStandardPaths::findExecutable(QLatin1String(tool));
    if (!program.isEmpty() && DescriptorLimit::startDetached(program))
      return;
  }
  const QString folder = QFileInfo(entryPath()).absolutePath();
  QDir().mkpath(folder);
  FolderOpener::openWithHandler(QUrl::fromLocalFile(folder), {});
}

} // namespace crel
