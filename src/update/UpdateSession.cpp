#include "UpdateSession.h"

#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "framework/PrivateFile.h"
#include "platform/AppIdentity.h"
#include "platform/FileError.h"
#include "platform/JsonCoding.h"
#include "platform/JsonReader.h"
#include "platform/Translate.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cmath>
#include <unistd.h>

namespace crel::UpdateSession {

namespace {

constexpr long long schema = 1;

struct StoredEntry {
  UpdateSnapshot document;
  QRect frame;
};

QString describe(const std::exception_ptr &error) {
  return CrelError::describe(error, crel::tr("The saved update session could not be read."));
}

// Moves the file to a name of its own next to it, never replacing a file;
// the new path, or empty when it could not be moved.
QString setAside(const QString &path) {
  const QFileInfo info(path);
  const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const QString suffix = attempt == 0 ? QString() : QStringLiteral("-%1").arg(attempt);
    const QString aside =
        info.absolutePath() + QStringLiteral("/%1.unrestored-%2%3.json").arg(info.completeBaseName(), stamp, suffix);
    // A hard link fails on an existing name instead of replacing it.
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) == 0) {
      ::unlink(QFile::encodeName(path).constData());
      return aside;
    }
    if (errno != EEXIST)
      break;
  }
  return {};
}

CrelError keptAside(const QString &problem, const QString &aside) {
  const QString where = aside.isEmpty() ? crel::tr("It was left where it is.")
                                        : crel::tr("It was kept as %1.").arg(QDir::toNativeSeparators(aside));
  return CrelError::capture(problem + QLatin1Char(' ') + where);
}

std::vector<StoredEntry> decodeRecord(const QByteArray &bytes) {
  const JsonObjectReader record(json::parse(bytes), "UpdateSession");
  const long long version = record.required("schema", json::toInteger);
  const QList<StoredEntry> entries = record.required("entries", [](const QJsonValue &v) {
    return json::toList(v, [](const QJsonValue &e) {
      const JsonObjectReader entry(e, "UpdateSession.Entry");
      StoredEntry stored{entry.required("document", UpdateSnapshot::decode), {}};
      const geom::Rect frame = entry.required("frame", json::toRect);
      // A frame no screen could hold is no frame: the window is placed afresh.
      const double limit = 1e6;
      if (std::abs(frame.x()) < limit && std::abs(frame.y()) < limit && std::abs(frame.width()) < limit &&
          std::abs(frame.height()) < limit)
        stored.frame = QRectF(frame.x(), frame.y(), frame.width(), frame.height()).toAlignedRect();
      return stored;
    });
  });
  // Checked only once the whole record decoded.
  if (version != schema)
    throw CrelError::capture(crel::tr("The saved update session uses an unsupported format. Your crels remain saved "
                                      "on this computer."));
  return {entries.begin(), entries.end()};
}

} // namespace

QString file() {
  QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (data.isEmpty())
    data = QDir::homePath() + QStringLiteral("/.local/share");
  return data + QLatin1Char('/') + AppIdentity::identifier() + QStringLiteral("/UpdateSession.json");
}

void save(const std::vector<Open> &open, const QString &path) {
  // Every snapshot first: a document that cannot give one stops the save
  // before anything is touched.
  std::vector<std::pair<UpdateSnapshot, QRect>> entries;
  entries.reserve(open.size());
  for (const Open &editor : open)
    entries.emplace_back(editor.document.snapshotForUpdate(), editor.frame);
  JsonWriter w;
  w.beginObject();
  w.field("schema", schema);
  w.key("entries");
  w.beginArray();
  for (const auto &[snapshot, frame] : entries) {
    w.beginObject();
    w.key("document");
    snapshot.encode(w);
    w.key("frame");
    json::writeRect(w, geom::Rect(frame.x(), frame.y(), frame.width(), frame.height()));
    w.endObject();
  }
  w.endArray();
  w.endObject();
  const QByteArray bytes = w.take();
  entries.clear();
  update::PrivateFile::write(path, bytes);
}

ReadResult read(const QString &path, AnnotationPreferences &preferences, const QString &savedImagesFolder) {
  ReadResult result;
  QFile file(path);
  if (!file.exists())
    return result;
  std::vector<StoredEntry> stored;
  try {
    if (!file.open(QIODevice::ReadOnly))
      throw FileError(crel::tr("The saved update session could not be opened: %1.").arg(file.errorString()), path);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
      throw FileError(crel::tr("The saved update session could not be read: %1.").arg(file.errorString()), path);
    file.close();
    stored = decodeRecord(bytes);
  } catch (const CrelError &) {
    throw keptAside(describe(std::current_exception()), setAside(path));
  } catch (const std::exception &error) {
    const QString problem =
        crel::tr("The saved update session could not be read (%1).").arg(QString::fromUtf8(error.what()));
    throw keptAside(problem, setAside(path));
  }
  int failed = 0;
  QString firstProblem;
  for (StoredEntry &entry : stored) {
    try {
      QString notice;
      auto document = CrelDocument::restoreAfterUpdate(entry.document, preferences, savedImagesFolder, &notice);
      result.entries.push_back({std::move(document), entry.frame, notice});
    } catch (...) {
      if (failed++ == 0)
        firstProblem = describe(std::current_exception());
    }
  }
  if (failed > 0) {
    const QString problem = crel::tr("%1 of %2 saved screenshots could not be restored after the update: %3")
                                .arg(failed)
                                .arg(stored.size())
                                .arg(firstProblem);
    result.failure = std::make_exception_ptr(keptAside(problem, setAside(path)));
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
