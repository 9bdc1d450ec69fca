#include "ArchiveBuilder.h"

#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

la_ssize_t collect(struct archive *, void *buffer, const void *data, size_t length) {
  static_cast<QByteArray *>(buffer)->append(static_cast<const char *>(data), qsizetype(length));
  return la_ssize_t(length);
}

} // namespace

QByteArray buildArchive(const QList<ArchiveEntry> &entries) {
  QByteArray out;
  archive *a = archive_write_new();
  archive_write_add_filter_gzip(a);
  archive_write_set_format_pax_restricted(a);
  archive_write_open(a, &out, nullptr, collect, nullptr);
  for (const ArchiveEntry &e : entries) {
    archive_entry *entry = archive_entry_new();
    archive_entry_set_pathname(entry, e.name.toUtf8().constData());
    archive_entry_set_perm(entry, e.mode);
    switch (e.kind) {
    case ArchiveEntry::Kind::file:
      archive_entry_set_filetype(entry, AE_IFREG);
      archive_entry_set_size(entry, e.data.size());
      break;
    case ArchiveEntry::Kind::folder: archive_entry_set_filetype(entry, AE_IFDIR); break;
    case ArchiveEntry::Kind::symlink:
      archive_entry_set_filetype(entry, AE_IFLNK);
      archive_entry_set_symlink(entry, e.target.toUtf8().constData());
      break;
    case ArchiveEntry::Kind::hardlink:
      archive_entry_set_filetype(entry, AE_IFREG);
      archive_entry_set_hardlink(entry, e.target.toUtf8().constData());
      break;
    case ArchiveEntry::Kind::characterDevice:
      archive_entry_set_filetype(entry, AE_IFCHR);
      archive_entry_set_rdev(entry, makedev(1, 3));
      break;
    case ArchiveEntry::Kind::fifo: archive_entry_set_filetype(entry, AE_IFIFO); break;
    }
    archive_write_header(a, entry);
    if (e.kind == ArchiveEntry::Kind::file && !e.data.isEmpty())
      archive_write_data(a, e.data.constData(), size_t(e.data.size()));
    archive_entry_free(entry);
  }
  archive_write_close(a);
  archive_write_free(a);
  return out;
}

bool writeArchive(const QString &path, const QList<ArchiveEntry> &entries) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(buildArchive(entries)) >= 0;
}

QList<ArchiveEntry> applicationEntries(const QString &top, const QByteArray &infoJson) {
  using K = ArchiveEntry::Kind;
  return {{K::folder, top, {}, {}, 0755},
          {K::file, top + QStringLiteral("/Info.json"), infoJson, {}, 0644},
          {K::folder, top + QStringLiteral("/bin"), {}, {}, 0755},
          {K::file, top + QStringLiteral("/bin/crel"), "#!/bin/sh\nexit 0\n", {}, 0755}};
}
