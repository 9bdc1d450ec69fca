#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

namespace crel::update {

// One release offered by a feed.
struct AppcastItem {
  // Archives larger than this are refused before any download.
  static constexpr qint64 maximumArchiveLength = qint64(2) << 30;

  QString version;              // build number, ordered by VersionComparator
  QString displayVersionString; // what people see; the version when the feed names none
  QString architecture;         // QSysInfo::currentCpuArchitecture() form; empty = any
  // The oldest C library (glibc) the build runs on; empty = any. The C library
  // rather than a distribution's release, which means nothing across distributions.
  QString minimumSystemVersion;
  QString releaseNotes;   // plain text
  QDateTime published;    // invalid when the feed names no date
  QUrl archiveUrl;        // absolute
  qint64 length = 0;      // exact size of the archive in bytes
  QByteArray edSignature; // 64 bytes over the archive's bytes
  QByteArray sha256;      // 32 bytes, or empty

  bool operator==(const AppcastItem &) const = default;

  // Digits, letters, ".", "-" and "+", at most 64 of them, starting with a
  // letter or digit and holding no "..": a version never names a path.
  static bool isPlainVersion(const QString &version);

  // The placeholder item of a check that found nothing.
  static AppcastItem empty() { return {}; }
};

} // namespace crel::update
