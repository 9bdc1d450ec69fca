// Archive extraction into a scratch folder: any bytes either unpack or are
// refused with an UpdateError, and nothing ever lands or points outside the
// destination.
#include "FuzzSupport.h"

#include "update/framework/ArchiveExtractor.h"
#include "update/framework/UpdateError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace crel::update;

namespace {
bool inside(const QString &path, const QString &root) { return path == root || path.startsWith(root + u'/'); }

void checkTree(const QString &root, const QString &destination) {
  const QString canonicalDestination = QFileInfo(destination).canonicalFilePath();
  QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    if (path == destination || path == root + QStringLiteral("/archive"))
      continue;
    if (!inside(path, destination))
      crel::fuzz::fail("an entry landed outside the destination");
    const QFileInfo info(path);
    if (info.isSymLink()) {
      const QString target = info.symLinkTarget();
      // A dangling link is harmless as long as it would point inside; one
      // that resolves on disk must resolve inside, through any other links.
      const QString resolved = info.canonicalFilePath();
      if (!inside(QDir::cleanPath(target), canonicalDestination) ||
          (!resolved.isEmpty() && !inside(resolved, canonicalDestination)))
        crel::fuzz::fail("a link points outside the destination");
    }
  }
}
} // namespace

CREL_FUZZ_ENTRY {
  // In memory where possible: the extractor flushes every file it writes.
  static QTemporaryDir scratch(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/crel-fuzz-XXXXXX")
                                                         : QDir::tempPath() + QStringLiteral("/crel-fuzz-XXXXXX"));
  const QString root = scratch.path() + QStringLiteral("/run");
  QDir(root).removeRecursively();
  const QString destination = root + QStringLiteral("/dest");
  if (!QDir().mkpath(destination))
    crel::fuzz::fail("no scratch folder");
  QFile archive(root + QStringLiteral("/archive"));
  if (!archive.open(QIODevice::WriteOnly) ||
      archive.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
    crel::fuzz::fail("cannot write the archive");
  archive.close();
  // Small limits keep each run quick; the limits themselves are under test too.
  ArchiveExtractor::Limits limits;
  limits.maximumEntries = 200;
  limits.maximumUnpackedBytes = 4 << 20;
  try {
    ArchiveExtractor::extract(archive.fileName(), destination, limits);
  } catch (const UpdateError &e) {
    if (e.code() != UpdateErrorCode::unarchive)
      crel::fuzz::fail("extraction failed with another error than unarchive");
  }
  checkTree(root, destination);
  return 0;
}
