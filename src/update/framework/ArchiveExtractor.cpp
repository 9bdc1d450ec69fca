#include "ArchiveExtractor.h"

#include "UpdateError.h"
#include "platform/Translate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace crel::update {

namespace {

using Reader = std::unique_ptr<archive, decltype(&archive_read_free)>;
using Writer = std::unique_ptr<archive, decltype(&archive_write_free)>;

[[noreturn]] void refuse(const QString &why) {
  throw UpdateError(UpdateErrorCode::unarchive, tr("The update could not be extracted: %1").arg(why));
}

// The entry's name as a clean relative path, or empty when it names the root.
QString relativeName(const QString &raw) {
  if (raw.startsWith(QLatin1Char('/')))
    refuse(tr("the entry \"%1\" has an absolute path.").arg(raw));
  const QStringList parts = raw.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  QStringList kept;
  for (const QString &part : parts) {
    if (part == QLatin1String(".."))
      refuse(tr("the entry \"%1\" leaves the archive's folder.").arg(raw));
    if (part != QLatin1String("."))
      kept.append(part);
  }
  return kept.join(QLatin1Char('/'));
}

// A relative link target resolved against the link's own folder must stay in the tree.
void checkLinkTarget(const QString &name, const QString &target) {
  if (target.isEmpty() || target.startsWith(QLatin1Char('/')))
    refuse(tr("the link \"%1\" points outside the archive's folder.").arg(name));
  QStringList stack = name.split(QLatin1Char('/'));
  stack.removeLast();
  for (const QString &part : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    if (part == QLatin1String("."))
      continue;
    if (part == QLatin1String("..")) {
      if (stack.isEmpty())
        refuse(tr("the link \"%1\" points outside the archive's folder.").arg(name));
      stack.removeLast();
    } else {
      stack.append(part);
    }
  }
}

} // namespace

void ArchiveExtractor::extract(const QString &archivePath, const QString &destination, const Limits &limits) {
  const qint64 archiveSize = QFileInfo(archivePath).size();
  const qint64 byteLimit =
      limits.maximumUnpackedBytes > 0 ? limits.maximumUnpackedBytes : std::max(archiveSize * 8, qint64(4) << 30);
  const QString root = QDir(destination).absolutePath();

  Reader in(archive_read_new(), archive_read_free);
  archive_read_support_filter_all(in.get());
  archive_read_support_format_all(in.get());
  if (archive_read_open_filename(in.get(), QFile::encodeName(archivePath).constData(), 64 * 1024) != ARCHIVE_OK)
    refuse(QString::fromUtf8(archive_error_string(in.get())));

  // Entries are written under their own names joined to `root`, an absolute
  // path, so libarchive's refusal of absolute paths cannot be used; absolute
  // names are refused above instead.
  Writer out(archive_write_disk_new(), archive_write_free);
  archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM);

  qint64 entries = 0, unpacked = 0;
  archive_entry *entry = nullptr;
  for (;;) {
    const int status = archive_read_next_header(in.get(), &entry);
    if (status == ARCHIVE_EOF)
      break;
    if (status < ARCHIVE_WARN)
      refuse(QString::fromUtf8(archive_error_string(in.get())));
    if (++entries > limits.maximumEntries)
      refuse(tr("it holds more than %1 entries.").arg(limits.maximumEntries));

    const char *rawName = archive_entry_pathname_utf8(entry);
    if (!rawName)
      rawName = archive_entry_pathname(entry);
    const QString raw = QString::fromUtf8(rawName ? rawName : "");
    const QString name = relativeName(raw);
    if (archive_entry_hardlink(entry))
      refuse(tr("the entry \"%1\" is a hard link.").arg(raw));
    const mode_t type = archive_entry_filetype(entry);
    if (type == AE_IFLNK) {
      const char *target = archive_entry_symlink_utf8(entry);
      if (!target)
        target = archive_entry_symlink(entry);
      checkLinkTarget(name, QString::fromUtf8(target ? target : ""));
    } else if (type != AE_IFREG && type != AE_IFDIR) {
      refuse(tr("the entry \"%1\" is not a file, folder or link.").arg(raw));
    }
    if (name.isEmpty()) {
      if (type == AE_IFDIR)
        continue;
      refuse(tr("the entry \"%1\" has no name.").arg(raw));
    }
    if (type == AE_IFREG) {
      const la_int64_t size = archive_entry_size(entry);
      if (size < 0 || size > byteLimit - unpacked)
        refuse(tr("it unpacks to more than %1 bytes.").arg(byteLimit));
    }

    archive_entry_set_pathname_utf8(entry, QFile::encodeName(root + QLatin1Char('/') + name).constData());
    // Folders stay writable by us so that a failed stage can always be removed.
    archive_entry_set_perm(entry, (archive_entry_perm(entry) | (type == AE_IFDIR ? 0700 : 0600)) & 0755);
    archive_entry_set_uid(entry, ::getuid());
    archive_entry_set_gid(entry, ::getgid());
    if (archive_write_header(out.get(), entry) < ARCHIVE_WARN)
      refuse(QString::fromUtf8(archive_error_string(out.get())));

    if (type == AE_IFREG) {
      const void *block = nullptr;
      size_t length = 0;
      la_int64_t offset = 0;
      for (;;) {
        const int r = archive_read_data_block(in.get(), &block, &length, &offset);
        if (r == ARCHIVE_EOF)
          break;
        if (r < ARCHIVE_WARN)
          refuse(QString::fromUtf8(archive_error_string(in.get())));
        // Sparse offsets count too: a hole is still bytes on disk.
        if (offset < 0 || qint64(offset) + qint64(length) > byteLimit - unpacked ||
            qint64(offset) + qint64(length) > archive_entry_size(entry))
          refuse(tr("it unpacks to more than %1 bytes.").arg(byteLimit));
        if (archive_write_data_block(out.get(), block, length, offset) < ARCHIVE_WARN)
          refuse(QString::fromUtf8(archive_error_string(out.get())));
      }
      unpacked += archive_entry_size(entry);
    }
    if (archive_write_finish_entry(out.get()) < ARCHIVE_WARN)
      refuse(QString::fromUtf8(archive_error_string(out.get())));
  }
  if (archive_write_close(out.get()) != ARCHIVE_OK)
    refuse(QString::fromUtf8(archive_error_string(out.get())));
}

} // namespace crel::update
