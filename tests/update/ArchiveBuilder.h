#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

// Writes gzip-compressed tar archives entry by entry, including entries no
// honest release would hold, so that extraction can be tested against them.
struct ArchiveEntry {
  enum class Kind { file, folder, symlink, hardlink, characterDevice, fifo };
  Kind kind = Kind::file;
  QString name;
  QByteArray data; // file contents
  QString target;  // link target
  mode_t mode = 0644;
};

QByteArray buildArchive(const QList<ArchiveEntry> &entries);
bool writeArchive(const QString &path, const QList<ArchiveEntry> &entries);

// A minimal application folder (Info.json and an executable bin/crel) under `top`.
QList<ArchiveEntry> applicationEntries(const QString &top, const QByteArray &infoJson);
