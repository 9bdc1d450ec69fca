#include "UpdateSession.h"

#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "framework/PrivateFile.h"
#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/AtomicFileWriter.h"
#include "platform/files/FileError.h"
#include "platform/files/FileLock.h"
#include "platform/files/JsonCoding.h"
#include "platform/files/JsonReader.h"
#include "platform/files/RegularFile.h"
#include "platform/files/RuntimeFolder.h"
#include "platform/files/SettingsStore.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUuid>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace crel::UpdateSession {

namespace {

constexpr long long schema = 1;
// How long a save or a claim waits for another instance's.
constexpr int lockWaitMs = 10000;
// The digest of a session file that was restored but could not be removed
// or set aside, so that no later launch restores it over newer edits.
constexpr auto restoredKey = "restoredUpdateSession";

struct StoredEntry {
  UpdateSnapshot document;
  QRect frame;
};

QString describe(const std::exception_ptr &error) {
  return CrelError::describe(error, crel::tr("The saved update session could not be read."));
}

QString reason(int error) { return qt_error_string(error); }

FileError openFailure(const QString &path, int error) {
  return FileError(crel::tr("The saved update session could not be opened: %1.").arg(reason(error)), path, error);
}

// The session's bytes. Only a regular file is read (also behind a link),
// opened without waiting for a writer, so a FIFO or a device at the path
// neither hangs the launch nor is touched. An absent path gives nothing.
// Throws FileError.
std::optional<QByteArray> readRegularFile(const QString &path) {
  // Absent is only a missing name: a link that leads nowhere is no file.
  struct stat st {};
  if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
    if (errno == ENOENT)
      return std::nullopt;
    throw openFailure(path, errno);
  }
  const RegularFile::Opened opened = RegularFile::open(path, RegularFile::Links::follow);
  if (opened.outcome == RegularFile::Outcome::openFailed)
    throw openFailure(path, opened.error);
  if (!opened.ok())
    throw FileError(crel::tr("The saved update session is not a file."), path, EINVAL);
  const int fd = opened.fd;
  const auto closing = qScopeGuard([fd] { ::close(fd); });
  const auto tooLarge = [&] {
    return FileError(crel::tr("The saved update session is too large to read."), path, EFBIG);
  };
  // No guess at the memory a rebuild needs: a moment of low memory must not
  // lose a session, and a restore that dies is set aside by the next launch.
  if (opened.size > maxFileBytes)
    throw tooLarge();
  QByteArray bytes;
  bytes.reserve(qsizetype(opened.size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      throw FileError(crel::tr("The saved update session could not be read: %1.").arg(reason(errno)), path, errno);
    if (n == 0)
      return bytes;
    if (bytes.size() + n > maxFileBytes)
      throw tooLarge(); // grew while read
    bytes.append(buffer, n);
  }
}

// Moves the file to a name of its own next to it, never replacing a file
// (AtomicFileWriter::moveNoReplace, which also serves file systems without
// hard links). The new path, or empty when the original could not be taken
// away; errno then says why.
QString setAside(const QString &path) {
  const QFileInfo info(path);
  const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const QString suffix = attempt == 0 ? QString() : QStringLiteral("-%1").arg(attempt);
    const QString aside =
        info.absolutePath() + QStringLiteral("/%1.unrestored-%2%3.json").arg(info.completeBaseName(), stamp, suffix);
    if (AtomicFileWriter::moveNoReplace(path, aside))
      return aside;
    if (errno != EEXIST)
      break;
  }
  return {};
}

QString whereKept(const QString &aside) {
  return aside.isEmpty() ? crel::tr("It was left where it is.")
                         : crel::tr("It was kept as %1.").arg(QDir::toNativeSeparators(aside));
}

// A problem told as a sentence of its own, whatever the text it came from.
QString sentence(QString problem) {
  if (!problem.endsWith(QLatin1Char('.')))
    problem += QLatin1Char('.');
  return problem;
}

CrelError keptAside(const QString &problem, const QString &aside) {
  return CrelError::capture(sentence(problem) + QLatin1Char(' ') + whereKept(aside));
}

QByteArray digestOf(const QByteArray &bytes) {
  return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

StoredEntry decodeEntry(const QJsonValue &e) {
  const JsonObjectReader entry(e, "UpdateSession.Entry");
  StoredEntry stored{entry.required("document", UpdateSnapshot::decode), {}};
  const geom::Rect frame = entry.required("frame", json::toRect);
  // A frame no screen could hold is no frame: the window is placed afresh.
  const double limit = 1e6;
  if (std::abs(frame.x()) < limit && std::abs(frame.y()) < limit && std::abs(frame.width()) < limit &&
      std::abs(frame.height()) < limit)
    stored.frame = QRectF(frame.x(), frame.y(), frame.width(), frame.height()).toAlignedRect();
  return stored;
}

// The record's entries, each still undecoded: one that does not decode is
// one entry lost, not the session.
QJsonArray decodeRecord(const QByteArray &bytes) {
  const JsonObjectReader record(json::parse(bytes), "UpdateSession");
  const long long version = record.required("schema", json::toInteger);
  const QJsonArray entries = record.required("entries", [](const QJsonValue &v) {
    if (!v.isArray())
      throw JsonDecodingError("expected an array");
    return v.toArray();
  });
  if (version != schema)
    throw CrelError::capture(crel::tr("The saved update session uses an unsupported format. Your crels remain saved "
                                      "on this computer."));
  return entries;
}

// Keeps the entries that were not restored for a later launch, without
// leaving the restored ones to be restored again: the file set aside, else
// rewritten to hold only those, else remembered as restored. The sentence
// that says which.
QString keepUnrestored(const QString &path, const QByteArray &bytes, const QJsonArray &unrestored,
                       SettingsStore *memory) {
  const QString aside = setAside(path);
  if (!aside.isEmpty())
    return whereKept(aside);
  const QString why = reason(errno);
  try {
    const QJsonObject record{{QStringLiteral("schema"), schema}, {QStringLiteral("entries"), unrestored}};
    update::PrivateFile::write(path, QJsonDocument(record).toJson(QJsonDocument::Compact));
    return crel::tr("It now holds only those, for the next start to try again.");
  } catch (const std::exception &) {
  }
  return crel::tr("It could not be set aside (%1) and was left where it is.").arg(why) + QLatin1Char(' ') +
         rememberRestored(memory, digestOf(bytes));
}

} // namespace

QString rememberRestored(SettingsStore *memory, const QByteArray &digest) {
  if (memory) {
    memory->setString(QLatin1String(restoredKey), QString::fromLatin1(digest));
    if (memory->sync())
      return crel::tr("It will not be restored again.");
  }
  return crel::tr("Move it away before the next start, or the screenshots restored now will be restored over again.");
}

QString file() {
  QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (data.isEmpty())
    data = QDir::homePath() + QStringLiteral("/.local/share");
  return data + QLatin1Char('/') + AppIdentity::identifier() + QStringLiteral("/UpdateSession.json");
}

namespace {

// The record's entries as they are in the file, or none when there is no
// file; a file that is not a record of ours throws.
std::optional<QJsonArray> waitingEntries(const QString &path) {
  std::optional<QByteArray> bytes = readRegularFile(path);
  if (!bytes)
    return std::nullopt;
  return decodeRecord(*bytes);
}

Owner ownerOf(const QJsonValue &entry) {
  const QJsonObject o = entry.toObject();
  return {o.value(QLatin1String("display")).toString(), o.value(QLatin1String("instance")).toString(),
          o.value(QLatin1String("machine")).toString()};
}

QString machineOf(const Owner &owner) { return owner.machine.isEmpty() ? thisMachine() : owner.machine; }

QByteArray encodeRecord(const std::vector<QByteArray> &entries) {
  JsonWriter w;
  w.beginObject();
  w.field("schema", schema);
  w.key("entries");
  w.beginArray();
  for (const QByteArray &entry : entries)
    w.rawValue(entry);
  w.endArray();
  w.endObject();
  return w.take();
}

QByteArray encodeEntry(const QJsonValue &entry) {
  return QJsonDocument(entry.toObject()).toJson(QJsonDocument::Compact);
}

// One lock over the session's files: a regular file opened for writing (a
// home on NFS locks only files open for writing). Only another holder makes
// the caller wait and then fail; where no lock can be had at all, the caller
// goes on without it and the log says why.
FileLock lockFile(const QString &lockPath, const QString &folder) {
  FileLock lock;
  try {
    lock = FileLock(lockPath);
  } catch (const FileError &e) {
    qWarning("update session: used without a lock: %s", qPrintable(e.message()));
    return {};
  }
  if (lock.lock(FileLock::Mode::exclusive, lockWaitMs))
    return lock;
  if (lock.isBusy())
    throw FileError(crel::tr("Another running copy of the application is using the saved update session. Try "
                             "again in a moment."),
                    folder, EWOULDBLOCK);
  qWarning("update session: used without a lock at %s: %s", qPrintable(lockPath),
           qPrintable(qt_error_string(lock.error())));
  return {};
}

struct SessionLocks {
  FileLock local, shared;
};

// Makes the session's folder and takes the locks over its files, always in
// this order: the user's runtime folder's, local and the same for every
// session of the user, then the one beside the file, which every machine
// sharing the home sees (Linux NFS clients carry flock to the server).
SessionLocks lockSession(const QString &path) {
  const QString folder = QFileInfo(path).absolutePath();
  update::PrivateFile::makeFolder(folder);
  SessionLocks locks;
  const QString runtime = RuntimeFolder::path(AppIdentity::identifier());
  if (runtime.isEmpty())
    qWarning("update session: used without a local lock: no private runtime folder can be made");
  else
    locks.local = lockFile(runtime + QStringLiteral("/UpdateSession.lock"), folder);
  locks.shared = lockFile(folder + QStringLiteral("/UpdateSession.lock"), folder);
  return locks;
}

} // namespace

QString thisProcess() {
  static const QString token = QUuid::createUuid().toString(QUuid::WithoutBraces);
  return token;
}

QString thisMachine() {
  static const QString name = [] {
    const QByteArray id = QSysInfo::machineUniqueId();
    return id.isEmpty() ? QSysInfo::machineHostName() : QString::fromLatin1(id);
  }();
  return name;
}

void save(const std::vector<Open> &open, const QString &path, const Owner &owner, qint64 maxBytes) {
  // Every snapshot first: a document that cannot give one stops the save
  // before anything is touched.
  std::vector<QByteArray> entries;
  entries.reserve(open.size());
  for (const Open &editor : open) {
    const UpdateSnapshot snapshot = editor.document.snapshotForUpdate();
    JsonWriter w;
    w.beginObject();
    w.key("document");
    snapshot.encode(w);
    w.key("frame");
    json::writeRect(w, geom::Rect(editor.frame.x(), editor.frame.y(), editor.frame.width(), editor.frame.height()));
    w.field("display", owner.display);
    w.field("instance", owner.instance);
    w.field("machine", machineOf(owner));
    w.endObject();
    entries.push_back(w.take());
  }
  const SessionLocks locks = lockSession(path);
  // What other instances left waiting comes first, as it was saved first.
  std::vector<QByteArray> record;
  const Owner self{owner.display, owner.instance, machineOf(owner)};
  try {
    if (const std::optional<QJsonArray> waiting = waitingEntries(path))
      for (const QJsonValue &entry : *waiting)
        if (!(ownerOf(entry) == self))
          record.push_back(encodeEntry(entry));
  } catch (const std::bad_alloc &) {
    throw; // the waiting crels are other instances' to restore, not ours to set aside
  } catch (const std::exception &) {
    // A file that is not a record this save can add to is kept aside rather
    // than replaced; anything else at the path makes the write fail.
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode))
      setAside(path);
  }
  record.insert(record.end(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
  entries.clear();
  const QByteArray bytes = encodeRecord(record);
  // Written, it would be set aside as unreadable at the next start.
  if (bytes.size() > maxBytes)
    throw CrelError::capture(
        crel::tr("The open crels are too large to keep for the update. Close some of them and try again."));
  update::PrivateFile::write(path, bytes);
}

Claim claim(const QString &path, const QString &claimed, const Owner &launcher,
            const std::function<bool(const QString &display)> &isRunning) {
  struct stat st {};
  if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
    return Claim::none;
  const SessionLocks locks = lockSession(path);
  const auto takeWhole = [&] {
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(claimed).constData()) != 0) {
      if (errno == ENOENT)
        return Claim::none; // taken by another launch meanwhile
      throw openFailure(path, errno);
    }
    return Claim::claimed;
  };
  if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
    return Claim::none;
  if (!S_ISREG(st.st_mode))
    return takeWhole();
  std::optional<QJsonArray> waiting;
  try {
    waiting = waitingEntries(path);
  } catch (const std::bad_alloc &) {
    throw;
  } catch (const std::exception &) {
    return takeWhole();
  }
  if (!waiting)
    return Claim::none;
  const QString machine = machineOf(launcher);
  std::vector<QByteArray> mine, others;
  for (const QJsonValue &entry : std::as_const(*waiting)) {
    const Owner owner = ownerOf(entry);
    // Another machine's displays cannot be asked whether they run.
    const bool here = owner.machine.isEmpty() || owner.machine == machine;
    const bool ours = owner.display.isEmpty() ||
                      (here && (owner.display == launcher.display || !isRunning || !isRunning(owner.display)));
    (ours ? mine : others).push_back(encodeEntry(entry));
  }
  if (mine.empty() && !others.empty())
    return Claim::theirs;
  if (mine.empty()) {
    // Read and empty (a quit with no editor open): gone, so that the next
    // launch is an ordinary one.
    clear(path);
    return Claim::emptied;
  }
  if (others.empty())
    return takeWhole();
  // Claimed first: an end between the two writes leaves an entry twice,
  // and the claimed copy is then set aside unrestored, never restored twice.
  update::PrivateFile::write(claimed, encodeRecord(mine));
  update::PrivateFile::write(path, encodeRecord(others));
  return Claim::claimed;
}

bool giveBack(const QString &claimed, const QString &path) noexcept {
  try {
    const SessionLocks locks = lockSession(path);
    if (AtomicFileWriter::moveNoReplace(claimed, path))
      return true;
    if (errno != EEXIST)
      return false;
    // Saved meanwhile: one record of both, the claimed crels first as they
    // were saved first.
    std::vector<QByteArray> record;
    for (const QString &file : {claimed, path})
      if (const std::optional<QJsonArray> entries = waitingEntries(file))
        for (const QJsonValue &entry : *entries)
          record.push_back(encodeEntry(entry));
    update::PrivateFile::write(path, encodeRecord(record));
    clear(claimed);
    return true;
  } catch (...) {
    return false;
  }
}

QString retryPath(const QString &claimed) {
  const QFileInfo info(claimed);
  return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".2.json");
}

QString setAsideInterrupted(const QString &claimed, bool *stuck, QString *retry) {
  if (stuck)
    *stuck = false;
  const auto present = [](const QString &path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
  };
  const QString again = retryPath(claimed);
  QString interrupted;
  if (retry && !present(again) && present(claimed) && AtomicFileWriter::moveNoReplace(claimed, again)) {
    *retry = again;
    return {};
  }
  for (const QString &path : {again, claimed}) {
    if (!present(path))
      continue;
    const QString aside = setAside(path);
    if (aside.isEmpty() && stuck)
      *stuck = true;
    interrupted = crel::tr("The last restore after an update did not finish, so it was not started again.") +
                  QLatin1Char(' ') + whereKept(aside);
  }
  return interrupted;
}

ReadResult read(const QString &path, AnnotationPreferences &preferences, const QString &savedImagesFolder,
                SettingsStore *memory) {
  ReadResult result;
  // A file that cannot be read as a whole is set aside before it is reported.
  const auto unreadable = [&path] {
    const std::exception_ptr error = std::current_exception();
    QString problem;
    try {
      std::rethrow_exception(error);
    } catch (const JsonDecodingError &e) {
      // The decoder's detail is for developers.
      qWarning("update session: %s does not decode: %s", qPrintable(path), e.what());
      problem = crel::tr("The saved update session is damaged.");
    } catch (...) {
      problem = describe(error);
    }
    return keptAside(problem, setAside(path));
  };
  std::optional<QByteArray> bytes;
  try {
    bytes = readRegularFile(path);
  } catch (const std::bad_alloc &) {
    throw; // nothing wrong with the file: a later launch tries again
  } catch (const std::exception &) {
    throw unreadable();
  }
  if (!bytes)
    return result;
  result.digest = digestOf(*bytes);
  if (memory && memory->stringForKey(QLatin1String(restoredKey)) == QString::fromLatin1(result.digest)) {
    const QString aside = setAside(path);
    if (!aside.isEmpty()) {
      memory->remove(QLatin1String(restoredKey));
      memory->sync();
    }
    throw keptAside(crel::tr("The saved update session was restored before, so it was not restored again."), aside);
  }
  QJsonArray entries;
  try {
    entries = decodeRecord(*bytes);
  } catch (const std::bad_alloc &) {
    throw;
  } catch (const std::exception &) {
    throw unreadable();
  }
  QJsonArray unrestored;
  QString firstProblem;
  for (const QJsonValue &value : std::as_const(entries)) {
    try {
      StoredEntry entry = decodeEntry(value);
      QString notice;
      auto document = CrelDocument::restoreAfterUpdate(entry.document, preferences, savedImagesFolder, &notice);
      result.entries.push_back({std::move(document), entry.frame, notice});
    } catch (const std::bad_alloc &) {
      throw; // the whole file stays for a launch with the memory
    } catch (const JsonDecodingError &) {
      // Its key path is for developers.
      if (unrestored.isEmpty())
        firstProblem = crel::tr("The saved details of the screenshot are damaged.");
      unrestored.append(value);
    } catch (...) {
      if (unrestored.isEmpty())
        firstProblem = describe(std::current_exception());
      unrestored.append(value);
    }
  }
  if (!unrestored.isEmpty()) {
    const QString problem = crel::tr("%1 of %2 saved screenshots could not be restored after the update: %3")
                                .arg(unrestored.size())
                                .arg(entries.size())
                                .arg(sentence(firstProblem));
    result.failure = std::make_exception_ptr(
        CrelError::capture(problem + QLatin1Char(' ') + keepUnrestored(path, *bytes, unrestored, memory)));
    result.keep = true;
  }
  return result;
}

void clear(const QString &path) {
  const QByteArray native = QFile::encodeName(path);
  if (::unlink(native.constData()) != 0 && errno != ENOENT) {
    const int error = errno;
    throw FileError(crel::tr("The saved update session could not be removed: %1.").arg(qt_error_string(error)), path,
                    error);
  }
}

} // namespace crel::UpdateSession
