#pragma once

#include <QString>

namespace crel::update {

// Unpacks an update archive (any format libarchive reads) into a folder that
// nothing else writes to. Only regular files, folders and relative symbolic
// links that only ever descend are made; absolute names, "..", hard links,
// devices, FIFOs, sockets and sparse files are refused, modes lose
// setuid/setgid/sticky and ownership is never restored. A write that fails
// (a full disk) fails the extraction at once; what was written is flushed to
// the disk and read back against the archive before extract() returns.
// Throws UpdateError (unarchive) naming the first entry refused; what was
// written so far stays for the caller to remove.
class ArchiveExtractor {
public:
  struct Limits {
    qint64 maximumEntries = 100000;
    qint64 maximumUnpackedBytes = 0; // 0: max(8 × archive size, 4 GiB)
  };

  static void extract(const QString &archivePath, const QString &destination, const Limits &limits);
  static void extract(const QString &archivePath, const QString &destination) {
    extract(archivePath, destination, Limits{});
  }
  // What the archive's headers say its files hold, read without writing
  // anything; refuses what extract() would refuse by its headers alone.
  static qint64 unpackedSize(const QString &archivePath, const Limits &limits);
};

} // namespace crel::update
