#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <limits>
#include <optional>

namespace crel::MemoryRoom {

// Bytes the process can still take: of the system's memory, and of its
// address space (the limit `ulimit -v` sets); `unlimited` for no limit.
struct Space {
  qint64 memory = 0;
  qint64 addressSpace = 0;
};
inline constexpr qint64 unlimited = std::numeric_limits<qint64>::max();

// The value of the kernel's "Name:   1234 kB" line in `text` (the text of
// /proc/meminfo or /proc/<pid>/status), in bytes; none when the line is
// missing or not written that way.
std::optional<qint64> kilobytes(const QByteArray &text, const QByteArray &name);

// One file's text; empty when it cannot be read.
using FileText = std::function<QByteArray(const QString &path)>;
// The memory the process can still take, from /proc/meminfo and its cgroup
// v2 files as `read` gives them, less a reserve: what is available plus the
// free swap its cgroups allow, and no more than any of its cgroups has left
// under their limits; `unlimited` when nothing says.
qint64 roomInMemory(const FileText &read);

// roomInMemory() of the running system, and the room under the process's
// address-space limit less a reserve for everything else the process does.
Space memoryRoom();

} // namespace crel::MemoryRoom
