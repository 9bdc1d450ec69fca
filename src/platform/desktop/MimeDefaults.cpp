#include "MimeDefaults.h"

#include "platform/files/AtomicFileWriter.h"
#include "platform/files/FileError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

namespace crel {

namespace {

// The application ids one group of a list file gives `type`, in order.
QStringList idsIn(const QString &path, const QString &group, const QString &type) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return {};
  bool inGroup = false;
  const QString header = u'[' + group + u']';
  for (const QByteArray &raw : file.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.startsWith(u'[')) {
      inGroup = line == header;
      continue;
    }
    const qsizetype equals = line.indexOf(u'=');
    if (inGroup && equals > 0 && line.left(equals).trimmed() == type)
      return line.mid(equals + 1).split(u';', Qt::SkipEmptyParts);
  }
  return {};
}

QStringList folders(const QString &variable, const QString &fallback) {
  const QString value = qEnvironmentVariable(variable.toLatin1().constData());
  return (value.isEmpty() ? fallback : value).split(u':', Qt::SkipEmptyParts);
}

} // namespace

MimeDefaults::MimeDefaults(Location location) : location_(std::move(location)) {}

MimeDefaults::Location MimeDefaults::forThisProcess() {
  Location location;
  location.configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  location.configDirs = folders(QStringLiteral("XDG_CONFIG_DIRS"), QStringLiteral("/etc/xdg"));
  location.dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  location.dataDirs = folders(QStringLiteral("XDG_DATA_DIRS"), QStringLiteral("/usr/local/share:/usr/share"));
  for (const QString &desktop : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts))
    location.desktops << desktop.toLower();
  return location;
}

QStringList MimeDefaults::applicationFolders() const {
  QStringList result{location_.dataHome + QStringLiteral("/applications")};
  for (const QString &dir : location_.dataDirs)
    result << dir + QStringLiteral("/applications");
  return result;
}

QStringList MimeDefaults::listFiles() const {
  QStringList dirs{location_.configHome};
  dirs << location_.configDirs << applicationFolders();
  QStringList files;
  for (const QString &dir : dirs) {
    for (const QString &desktop : location_.desktops)
      files << dir + u'/' + desktop + QStringLiteral("-mimeapps.list");
    files << dir + QStringLiteral("/mimeapps.list");
  }
  return files;
}

bool MimeDefaults::installed(const QString &id) const {
  // "vendor-app.desktop" may also live at vendor/app.desktop.
  QString relative = id;
  for (;;) {
    for (const QString &folder : applicationFolders())
      if (QFileInfo(folder + u'/' + relative).isFile())
        return true;
    const qsizetype dash = relative.indexOf(u'-');
    if (dash < 0)
      return false;
    relative[dash] = u'/';
  }
}

bool MimeDefaults::listed(const QString &type) const {
  for (const QString &file : listFiles())
    if (!idsIn(file, QStringLiteral("Default Applications"), type).isEmpty())
      return true;
  return false;
}

std::optional<QString> MimeDefaults::chosen(const QString &type, const QString &except) const {
  QStringList candidates;
  for (const QString &file : listFiles())
    candidates << idsIn(file, QStringLiteral("Added Associations"), type);
  for (const QString &folder : applicationFolders()) {
    candidates << idsIn(folder + QStringLiteral("/defaults.list"), QStringLiteral("Default Applications"), type);
    candidates << idsIn(folder + QStringLiteral("/mimeinfo.cache"), QStringLiteral("MIME Cache"), type);
  }
  for (const QString &id : candidates)
    if (id != except && installed(id))
      return id;
  return std::nullopt;
}

QStringList MimeDefaults::keep(const QStringList &types, const QString &ownId) const {
  QStringList lines;
  QStringList kept;
  for (const QString &type : types) {
    if (listed(type))
      continue;
    if (const std::optional<QString> id = chosen(type, ownId)) {
      lines << type + u'=' + *id + u';';
      kept << type;
    }
  }
  if (lines.isEmpty())
    return {};
  const QString path = location_.configHome + QStringLiteral("/mimeapps.list");
  QFile file(path);
  QStringList text;
  if (file.exists()) {
    if (!file.open(QIODevice::ReadOnly))
      throw FileError::savingFile(file.error() == QFileDevice::PermissionsError ? EACCES : EIO, path);
    text = QString::fromUtf8(file.readAll()).split(u'\n');
    while (!text.isEmpty() && text.last().isEmpty())
      text.removeLast();
  }
  // Into the group where it is, or a new one at the end.
  const qsizetype group = text.indexOf(QStringLiteral("[Default Applications]"));
  if (group < 0) {
    if (!text.isEmpty())
      text << QString();
    text << QStringLiteral("[Default Applications]") << lines;
  } else {
    qsizetype end = group + 1;
    while (end < text.size() && !text[end].trimmed().startsWith(u'['))
      ++end;
    while (end > group + 1 && text[end - 1].trimmed().isEmpty())
      --end;
    for (qsizetype i = 0; i < lines.size(); ++i)
      text.insert(end + i, lines[i]);
  }
  if (!QDir().mkpath(location_.configHome))
    throw FileError::creatingFolder(EACCES, location_.configHome);
  AtomicFileWriter::write(path, (text.join(u'\n') + u'\n').toUtf8(), AtomicFileWriter::Existing::replace, 0644);
  return kept;
}

} // namespace crel
