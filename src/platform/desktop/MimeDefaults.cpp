#include "MimeDefaults.h"

#include "platform/files/AtomicFileWriter.h"
#include "platform/files/FileError.h"
#include "platform/files/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace crel {

namespace {

Q_LOGGING_CATEGORY(lcMime, "crel.desktop.mime")

const QByteArray defaultsGroup = QByteArrayLiteral("[Default Applications]");

// The application ids one group of a list file gives `type`, in order, from
// the first line for it. Only a regular file is read: a FIFO in a list's
// place would wait for a writer for good.
QStringList idsIn(const QString &path, const QString &group, const QString &type) {
  const std::optional<QByteArray> bytes = RegularFile::read(path, RegularFile::Links::follow);
  if (!bytes)
    return {};
  bool inGroup = false;
  const QString header = u'[' + group + u']';
  for (const QByteArray &raw : bytes->split('\n')) {
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

// The user's list where it lives, if it may be edited there: the final
// target of its links, a regular file of this user with no other name that
// the user may write. Replacing a link would leave a dotfiles copy stale, and
// a second name would keep the old text.
struct EditableList {
  QString target;
  QByteArray text;
  std::optional<mode_t> mode; // none: a new list
  QString refusal;            // why it is left alone
};

EditableList editableList(const QString &path) {
  EditableList list;
  const QByteArray native = QFile::encodeName(path);
  struct stat st {};
  if (::lstat(native.constData(), &st) != 0) {
    if (errno == ENOENT)
      list.target = path;
    else
      list.refusal = qt_error_string(errno);
    return list;
  }
  char *resolved = ::realpath(native.constData(), nullptr);
  if (!resolved) {
    list.refusal = QStringLiteral("its link leads nowhere (%1)").arg(qt_error_string(errno));
    return list;
  }
  list.target = QFile::decodeName(resolved);
  std::free(resolved);
  const RegularFile::Opened opened = RegularFile::open(list.target, RegularFile::Links::refuse);
  if (!opened.ok()) {
    list.refusal = opened.outcome == RegularFile::Outcome::notRegular ? QStringLiteral("not a regular file")
                                                                      : qt_error_string(opened.error);
    return list;
  }
  QFile file;
  if (!file.open(opened.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(opened.fd);
    list.refusal = file.errorString();
    return list;
  }
  if (::fstat(opened.fd, &st) != 0)
    list.refusal = qt_error_string(errno);
  else if (st.st_uid != ::geteuid())
    list.refusal = QStringLiteral("another user's file");
  else if (st.st_nlink != 1)
    list.refusal = QStringLiteral("the file has other names (hard links)");
  else if (!(st.st_mode & S_IWUSR))
    list.refusal = QStringLiteral("read-only");
  if (!list.refusal.isEmpty())
    return list;
  list.text = file.readAll();
  if (file.error() != QFileDevice::NoError)
    list.refusal = file.errorString();
  list.mode = st.st_mode & 07777;
  return list;
}

// `text` with each viewer first in its type's line of the defaults group, or
// on a new line at the group's end (a new group at the file's end). Every
// other byte stays, line ends included.
QByteArray withDefaultsFirst(const QByteArray &text, const QList<std::pair<QString, QString>> &defaults) {
  QList<QByteArray> lines = text.split('\n');
  if (text.isEmpty() || text.endsWith('\n'))
    lines.removeLast();
  const QByteArray cr = !lines.isEmpty() && lines.first().endsWith('\r') ? QByteArrayLiteral("\r") : QByteArray();
  for (const auto &[typeText, idText] : defaults) {
    const QByteArray type = typeText.toUtf8(), id = idText.toUtf8();
    qsizetype groupEnd = -1;
    bool inGroup = false, done = false;
    for (qsizetype i = 0; i < lines.size() && !done; ++i) {
      const QByteArray line = lines[i].trimmed();
      if (line.startsWith('[')) {
        if (inGroup && groupEnd < 0)
          groupEnd = i;
        inGroup = line == defaultsGroup;
        continue;
      }
      const qsizetype equals = line.indexOf('=');
      if (!inGroup || equals <= 0 || line.left(equals).trimmed() != type)
        continue;
      QByteArray value = id + ';';
      for (const QByteArray &other : line.mid(equals + 1).split(';'))
        if (!other.trimmed().isEmpty() && other.trimmed() != id)
          value += other.trimmed() + ';';
      lines[i] = type + '=' + value + (lines[i].endsWith('\r') ? QByteArrayLiteral("\r") : QByteArray());
      done = true;
    }
    if (done)
      continue;
    const QByteArray added = type + '=' + id + ';' + cr;
    if (groupEnd < 0 && inGroup)
      groupEnd = lines.size();
    if (groupEnd < 0) {
      if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
        lines << cr;
      lines << defaultsGroup + cr << added;
      continue;
    }
    while (groupEnd > 0 && lines[groupEnd - 1].trimmed().isEmpty())
      --groupEnd;
    lines.insert(groupEnd, added);
  }
  return lines.join('\n') + '\n';
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

MimeDefaults::Listed MimeDefaults::listedDefault(const QString &type, const QString &ownId) const {
  Listed listed;
  const auto present = [&](const QString &id) { return id == ownId || installed(id); };
  for (const QString &file : listFiles()) {
    const QStringList ids = idsIn(file, QStringLiteral("Default Applications"), type);
    if (!ids.isEmpty() && present(ids.first())) {
      listed.byXdgMime = true;
      return listed;
    }
    for (const QString &id : ids)
      if (!listed.byGio && present(id))
        listed.byGio = id;
  }
  return listed;
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
  QList<std::pair<QString, QString>> defaults;
  QStringList kept;
  for (const QString &type : types) {
    const Listed listed = listedDefault(type, ownId);
    if (listed.byXdgMime)
      continue;
    // Where only gio finds one in the lists, xdg-mime is made to agree.
    if (const std::optional<QString> id = listed.byGio ? listed.byGio : chosen(type, ownId)) {
      defaults << std::pair(type, *id);
      kept << type;
    }
  }
  if (defaults.isEmpty())
    return {};
  const QString path = location_.configHome + QStringLiteral("/mimeapps.list");
  const EditableList list = editableList(path);
  const auto leftAlone = [&](const QString &why) {
    qCWarning(lcMime).noquote() << "left" << path << "as it is (" + why + ");"
                                << "installing may change the default application of" << kept.join(u' ');
    return QStringList();
  };
  if (!list.refusal.isEmpty())
    return leftAlone(list.refusal);
  if (!list.mode && !QDir().mkpath(location_.configHome))
    throw FileError::creatingFolder(EACCES, location_.configHome);
  try {
    AtomicFileWriter::write(list.target, withDefaultsFirst(list.text, defaults),
                            list.mode ? AtomicFileWriter::Existing::replace : AtomicFileWriter::Existing::refuse,
                            list.mode);
  } catch (const FileError &error) {
    // A folder the user may not write, such as a read-only dotfiles checkout.
    if (error.errorCode() == EACCES || error.errorCode() == EPERM || error.errorCode() == EROFS)
      return leftAlone(error.message());
    throw;
  }
  return kept;
}

} // namespace crel
