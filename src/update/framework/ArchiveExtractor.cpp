#include "ArchiveExtractor.h"

#include "UpdateError.h"
#include "platform/base/Translate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace crel::update {

namespace {

using Reader = std::unique_ptr<archive, decltype(&archive_read_free)>;
using Writer = std::unique_ptr<archive, decltype(&archive_write_free)>;

[[noreturn]] void refuse(const QString &why) {
  throw UpdateError(UpdateErrorCode::unarchive, tr("The update could not be extracted: %1").arg(why));
}

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

Reader openReader(const QString &archivePath) {
  Reader in(archive_read_new(), archive_read_free);
  archive_read_support_filter_all(in.get());
  archive_read_support_format_all(in.get());
  if (archive_read_open_filename(in.get(), QFile::encodeName(archivePath).constData(), 64 * 1024) != ARCHIVE_OK)
    refuse(QString::fromUtf8(archive_error_string(in.get())));
  return in;
}

qint64 byteLimit(const QString &archivePath, const ArchiveExtractor::Limits &limits) {
  return limits.maximumUnpackedBytes > 0 ? limits.maximumUnpackedBytes
                                         : std::max(QFileInfo(archivePath).size() * 8, qint64(4) << 30);
}

[[noreturn]] void tooLarge(qint64 limit) { refuse(tr("it unpacks to more than %1 bytes.").arg(limit)); }

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

// A link may only descend from its own folder. Resolving ".." by the text
// of the target is unsound (a link "self -> ." is one level down by name and
// none on disk), while targets that never climb stay inside whatever the
// links they pass through point to.
void checkLinkTarget(const QString &name, const QString &target) {
  if (target.isEmpty() || target.startsWith(QLatin1Char('/')) ||
      target.split(QLatin1Char('/')).contains(QLatin1String("..")))
    refuse(tr("the link \"%1\" points outside its folder.").arg(name));
}

struct Header {
  QString raw;
  QString name; // empty: the root folder, which is skipped
  mode_t type = 0;
};

// Refuses what no update may hold, by the header alone.
Header checkHeader(archive_entry *entry) {
  const char *rawName = archive_entry_pathname_utf8(entry);
  if (!rawName)
    rawName = archive_entry_pathname(entry);
  Header h;
  h.raw = QString::fromUtf8(rawName ? rawName : "");
  h.name = relativeName(h.raw);
  h.type = archive_entry_filetype(entry);
  if (archive_entry_hardlink(entry))
    refuse(tr("the entry \"%1\" is a hard link.").arg(h.raw));
  if (h.type == AE_IFLNK) {
    const char *target = archive_entry_symlink_utf8(entry);
    if (!target)
      target = archive_entry_symlink(entry);
    checkLinkTarget(h.raw, QString::fromUtf8(target ? target : ""));
  } else if (h.type != AE_IFREG && h.type != AE_IFDIR) {
    refuse(tr("the entry \"%1\" is not a file, folder or link.").arg(h.raw));
  }
  if (h.name.isEmpty() && h.type != AE_IFDIR)
    refuse(tr("the entry \"%1\" has no name.").arg(h.raw));
  if (h.type == AE_IFREG && archive_entry_size(entry) < 0)
    refuse(tr("the entry \"%1\" has no size.").arg(h.raw));
  return h;
}

// The next header, checked; false at the end of the archive.
bool nextHeader(archive *in, archive_entry *&entry, Header &header, qint64 &entries,
                const ArchiveExtractor::Limits &limits) {
  const int status = archive_read_next_header(in, &entry);
  if (status == ARCHIVE_EOF)
    return false;
  if (status < ARCHIVE_WARN)
    refuse(QString::fromUtf8(archive_error_string(in)));
  if (++entries > limits.maximumEntries)
    refuse(tr("it holds more than %1 entries.").arg(limits.maximumEntries));
  header = checkHeader(entry);
  return true;
}

[[noreturn]] void writeFailed(archive *out, const QString &raw) {
  const int error = archive_errno(out);
  if (error == ENOSPC || error == EDQUOT)
    refuse(tr("there is not enough free space on the disk for \"%1\".").arg(raw));
  refuse(tr("\"%1\" could not be written (%2).")
             .arg(raw, error > 0 ? systemError(error) : QString::fromUtf8(archive_error_string(out))));
}

// Flushes one unpacked file or folder, so that what a disk loses late
// (delayed allocation, write-back errors) is reported now, not after the swap.
void flush(int fd, const QString &raw) {
  if (::fsync(fd) == 0)
    return;
  const int error = errno;
  ::close(fd);
  if (error == ENOSPC || error == EDQUOT)
    refuse(tr("there is not enough free space on the disk for \"%1\".").arg(raw));
  refuse(tr("\"%1\" could not be written to the disk (%2).").arg(raw, systemError(error)));
}

// Every folder and regular file is flushed to the disk, and every regular
// file holds exactly the bytes of its entry.
void flushAndVerify(const QString &archivePath, const QString &root, const ArchiveExtractor::Limits &limits) {
  const Reader in = openReader(archivePath);
  archive_entry *entry = nullptr;
  Header header;
  qint64 entries = 0;
  std::vector<char> disk;
  while (nextHeader(in.get(), entry, header, entries, limits)) {
    if (header.type == AE_IFLNK)
      continue;
    const auto mismatch = [&] { refuse(tr("the unpacked file \"%1\" does not match the archive.").arg(header.raw)); };
    const QByteArray path = QFile::encodeName(root + QLatin1Char('/') + header.name);
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
      mismatch();
    flush(fd, header.raw);
    struct stat st {};
    bool same = header.type == AE_IFDIR ||
                (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == archive_entry_size(entry));
    const void *block = nullptr;
    size_t length = 0;
    la_int64_t offset = 0;
    for (int r; same && header.type == AE_IFREG &&
                (r = archive_read_data_block(in.get(), &block, &length, &offset)) != ARCHIVE_EOF;) {
      if (r < ARCHIVE_WARN) {
        ::close(fd);
        refuse(QString::fromUtf8(archive_error_string(in.get())));
      }
      disk.resize(length);
      same =
          ::pread(fd, disk.data(), length, offset) == ssize_t(length) && std::memcmp(disk.data(), block, length) == 0;
    }
    ::close(fd);
    if (!same)
      mismatch();
  }
  if (const int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
    flush(fd, QDir(root).dirName());
    ::close(fd);
  }
}

} // namespace

qint64 ArchiveExtractor::unpackedSize(const QString &archivePath, const Limits &limits) {
  const qint64 limit = byteLimit(archivePath, limits);
  const Reader in = openReader(archivePath);
  archive_entry *entry = nullptr;
  Header header;
  qint64 entries = 0, total = 0;
  while (nextHeader(in.get(), entry, header, entries, limits)) {
    if (header.type == AE_IFREG) {
      if (archive_entry_size(entry) > limit - total)
        tooLarge(limit);
      total += archive_entry_size(entry);
    }
    if (archive_read_data_skip(in.get()) < ARCHIVE_WARN)
      refuse(QString::fromUtf8(archive_error_string(in.get())));
  }
  return total;
}

void ArchiveExtractor::extract(const QString &archivePath, const QString &destination, const Limits &limits) {
  const qint64 limit = byteLimit(archivePath, limits);
  const QString root = QDir(destination).absolutePath();
  const Reader in = openReader(archivePath);

  // Entries are written under their own names joined to `root`, an absolute
  // path, so libarchive's refusal of absolute paths cannot be used; absolute
  // names are refused above instead.
  Writer out(archive_write_disk_new(), archive_write_free);
  archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM);

  qint64 entries = 0, unpacked = 0;
  archive_entry *entry = nullptr;
  Header header;
  while (nextHeader(in.get(), entry, header, entries, limits)) {
    if (header.name.isEmpty())
      continue;
    const mode_t type = header.type;
    const qint64 size = type == AE_IFREG ? qint64(archive_entry_size(entry)) : 0;
    if (size > limit - unpacked)
      tooLarge(limit);

    archive_entry_set_pathname_utf8(entry, QFile::encodeName(root + QLatin1Char('/') + header.name).constData());
    // Folders stay writable by us so that a failed stage can always be removed.
    archive_entry_set_perm(entry, (archive_entry_perm(entry) | (type == AE_IFDIR ? 0700 : 0600)) & 0755);
    archive_entry_set_uid(entry, ::getuid());
    archive_entry_set_gid(entry, ::getgid());
    if (archive_write_header(out.get(), entry) < ARCHIVE_WARN)
      writeFailed(out.get(), header.raw);

    if (type == AE_IFREG) {
      const void *block = nullptr;
      size_t length = 0;
      la_int64_t offset = 0;
      qint64 written = 0;
      for (;;) {
        const int r = archive_read_data_block(in.get(), &block, &length, &offset);
        if (r == ARCHIVE_EOF)
          break;
        if (r < ARCHIVE_WARN)
          refuse(QString::fromUtf8(archive_error_string(in.get())));
        // Blocks must follow each other: a hole would be bytes nobody wrote.
        if (offset != written)
          refuse(tr("the entry \"%1\" is a sparse file.").arg(header.raw));
        if (qint64(length) > size - written)
          tooLarge(limit);
        // libarchive reports a failed write(2) as a mere warning; bytes were lost.
        if (archive_write_data_block(out.get(), block, length, offset) != ARCHIVE_OK)
          writeFailed(out.get(), header.raw);
        written += qint64(length);
      }
      if (written != size)
        refuse(tr("the entry \"%1\" is shorter than its header says.").arg(header.raw));
      unpacked += size;
    }
    if (archive_write_finish_entry(out.get()) < ARCHIVE_WARN)
      writeFailed(out.get(), header.raw);
  }
  if (archive_write_close(out.get()) != ARCHIVE_OK)
    writeFailed(out.get(), QDir(root).dirName());
  flushAndVerify(archivePath, root, limits);
}

} // namespace crel::update
