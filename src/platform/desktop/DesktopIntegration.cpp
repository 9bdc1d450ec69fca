#include "DesktopIntegration.h"

#include "DesktopEntry.h"
#include "platform/base/DescriptorLimit.h"
#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/AtomicFileWriter.h"
#include "platform/files/FileError.h"
#include "platform/files/ResourceLocator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

namespace crel {

namespace {

QByteArray contents(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes `data` unless the file already holds it.
bool writeIfChanged(const QString &path, const QByteArray &data) {
  if (QFileInfo(path).isFile() && contents(path) == data)
    return false;
  const QString folder = QFileInfo(path).absolutePath();
  if (!QDir().mkpath(folder))
    throw FileError::creatingFolder(EACCES, folder);
  AtomicFileWriter::write(path, data, AtomicFileWriter::Existing::replace, 0644);
  return true;
}

} // namespace

DesktopIntegration::DesktopIntegration(Location location) : location_(std::move(location)) {}

DesktopIntegration::Location DesktopIntegration::forThisProcess() {
  Location location;
  location.dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  location.identifier = AppIdentity::identifier();
  location.name = AppIdentity::name();
  location.bundleDirectory = ResourceLocator::canonicalBundleDirectory();
  location.mime = MimeDefaults::forThisProcess();
  return location;
}

QString DesktopIntegration::entryPath() const { return entryPath(location_.dataHome, location_.identifier); }

QString DesktopIntegration::entryPath(const QString &dataHome, const QString &identifier) {
  return dataHome + QStringLiteral("/applications/") + identifier + QStringLiteral(".desktop");
}

LauncherLink DesktopIntegration::launcherLink() const {
  return LauncherLink(location_.dataHome, location_.identifier, location_.bundleDirectory);
}

QByteArray DesktopIntegration::entryText() const {
  const QString templatePath = location_.bundleDirectory + QStringLiteral("/Resources/crel.desktop");
  const QByteArray source = contents(templatePath);
  if (source.isEmpty())
    throw FileError(tr("The app's desktop entry is missing from its Resources folder."), templatePath);
  const LauncherLink link = launcherLink();
  if (!DesktopEntry::execArgument(link.executable()))
    throw FileError(tr("The app's location contains characters that desktop entries cannot hold."),
                    location_.bundleDirectory);
  const QString executable = link.program();
  const std::optional<QString> program = DesktopEntry::execArgument(executable);
  QStringList lines;
  bool inMainGroup = false;
  for (const QString &line : QString::fromUtf8(source).split(u'\n')) {
    if (line.startsWith(u'['))
      inMainGroup = line == QLatin1String("[Desktop Entry]");
    if (!inMainGroup || line.startsWith(QLatin1String("TryExec="))) {
      if (!line.startsWith(QLatin1String("TryExec=")))
        lines << line;
      continue;
    }
    if (line.startsWith(QLatin1String("Name=")))
      lines << QStringLiteral("Name=") + DesktopEntry::escapeString(location_.name);
    else if (line.startsWith(QLatin1String("Icon=")))
      lines << QStringLiteral("Icon=") + DesktopEntry::escapeString(location_.identifier);
    else if (line.startsWith(QLatin1String("Exec="))) {
      lines << QStringLiteral("TryExec=") + DesktopEntry::escapeString(executable);
      lines << QStringLiteral("Exec=") + DesktopEntry::escapeString(*program + QStringLiteral(" %F"));
    } else
      lines << line;
  }
  return lines.join(u'\n').toUtf8();
}

bool DesktopIntegration::install(bool firstTime) const {
  if (!firstTime && !QFileInfo::exists(entryPath()))
    return false;
  const QString theme = location_.bundleDirectory + QStringLiteral("/Resources/icons/hicolor");
  const QString userTheme = location_.dataHome + QStringLiteral("/icons/hicolor");
  bool wrote = false;
  // The icons first: the entry names one that is already there.
  for (const int side : AppIdentity::iconSizes) {
    const QString size = QStringLiteral("/%1x%1/apps/").arg(side);
    if (const QByteArray png = contents(theme + size + QStringLiteral("crel.png")); !png.isEmpty())
      wrote = writeIfChanged(userTheme + size + location_.identifier + QStringLiteral(".png"), png) || wrote;
  }
  if (const QByteArray svg = contents(theme + QStringLiteral("/scalable/apps/crel.svg")); !svg.isEmpty())
    wrote = writeIfChanged(
                userTheme + QStringLiteral("/scalable/apps/") + location_.identifier + QStringLiteral(".svg"), svg) ||
            wrote;
  const QByteArray entry = entryText();
  launcherLink().make();
  if (firstTime) {
    const std::optional<DesktopEntry> parsed = DesktopEntry::parse(entry);
    const QStringList types =
        parsed ? parsed->value(QStringLiteral("MimeType")).value_or(QString()).split(u';', Qt::SkipEmptyParts)
               : QStringList();
    MimeDefaults(location_.mime).keep(types, location_.identifier + QStringLiteral(".desktop"));
  }
  if (writeIfChanged(entryPath(), entry)) {
    wrote = true;
    // File managers that read the MIME cache learn the image types from it.
    const QString update = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (!update.isEmpty())
      DescriptorLimit::startDetached(update, {QStringLiteral("-q"), QFileInfo(entryPath()).absolutePath()});
  }
  return wrote;
}

} // namespace crel
