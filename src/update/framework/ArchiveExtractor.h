#pragma once

#include <QString>

namespace crel::update {

// Unpacks an update archive (any format libarchive reads) into a folder that
// nothing else writes to. Only regular files, folders and relative symbolic
// links that stay inside the tree are made; absolute names, "..", hard links,
// devices, FIFOs and sockets are refused, modes lose setuid/setgid/sticky and
// ownership is never restored. Throws UpdateError (unarchive) naming the
// first entry refused; what was written so far stays for the caller to remove.
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
};

} // namespace crel::update
