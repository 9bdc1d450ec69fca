#include "MemoryRoom.h"

#include <QFile>
#include <QList>

#include <algorithm>

#include <sys/resource.h>

namespace crel::MemoryRoom {

namespace {

QByteArray fileText(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The number after `name` on its line of a cgroup statistics text
// ("name 1234"), as written.
std::optional<qint64> statField(const QByteArray &text, const QByteArray &name) {
  for (const QByteArray &line : text.split('\n'))
    if (line.startsWith(name) && line.size() > name.size() && line[name.size()] == ' ') {
      bool ok = false;
      const qint64 value = line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong(&ok);
      return ok ? std::optional<qint64>(value) : std::nullopt;
    }
  return std::nullopt;
}

// A cgroup file holding one number of bytes; none for "max" or no file.
std::optional<qint64> cgroupValue(const QByteArray &text) {
  bool ok = false;
  const qint64 value = text.trimmed().toLongLong(&ok);
  return ok ? std::optional<qint64>(value) : std::nullopt;
}

// Kept for what the process does besides: windows, fonts, an editor's undo
// in memory; in the address space also the stacks of the threads that
// decode, draw and encode (a small file's editor, arrow and save take about
// 60 MB over an idle instance's). A busy desktop often has less than half a
// gigabyte available, and a screenshot must still open.
constexpr qint64 memoryReserveBytes = qint64(128) << 20;
constexpr qint64 addressSpaceReserveBytes = qint64(256) << 20;

} // namespace

std::optional<qint64> kilobytes(const QByteArray &text, const QByteArray &name) {
  for (const QByteArray &line : text.split('\n')) {
    if (!line.startsWith(QByteArray(name + ':')))
      continue;
    const QList<QByteArray> fields = line.mid(name.size() + 1).simplified().split(' ');
    bool ok = false;
    const qint64 value = fields.value(0).toLongLong(&ok);
    if (!ok || value < 0 || fields.size() != 2 || fields[1] != "kB")
      return std::nullopt;
    return value * 1024;
  }
  return std::nullopt;
}

qint64 roomInMemory(const FileText &read) {
  const QByteArray meminfo = read(QStringLiteral("/proc/meminfo"));
  qint64 room = unlimited, swapRoom = kilobytes(meminfo, "SwapFree").value_or(0);
  // Limits usually sit on a parent slice, so the process's cgroup and every
  // ancestor are read; what a cgroup could reclaim of the page cache counts.
  for (const QByteArray &line : read(QStringLiteral("/proc/self/cgroup")).split('\n'))
    if (line.startsWith("0::/")) {
      QString group = QString::fromUtf8(line.mid(3).trimmed());
      for (;;) {
        const QString dir = QStringLiteral("/sys/fs/cgroup") + (group == QLatin1String("/") ? QString() : group) + '/';
        const std::optional<qint64> max = cgroupValue(read(dir + "memory.max")),
                                    current = cgroupValue(read(dir + "memory.current"));
        if (max && current)
          room = std::min(room, *max - *current + statField(read(dir + "memory.stat"), "inactive_file").value_or(0));
        const std::optional<qint64> swapMax = cgroupValue(read(dir + "memory.swap.max"));
        if (swapMax)
          swapRoom = std::min(swapRoom, *swapMax - cgroupValue(read(dir + "memory.swap.current")).value_or(0));
        if (group == QLatin1String("/"))
          break;
        group = group.left(std::max(qsizetype(1), group.lastIndexOf('/')));
      }
      break;
    }
  if (const std::optional<qint64> available = kilobytes(meminfo, "MemAvailable"))
    room = std::min(room, *available + std::max(qint64(0), swapRoom));
  return room == unlimited ? room : room - memoryReserveBytes;
}

Space memoryRoom() {
  Space room{roomInMemory(fileText), unlimited};
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    if (const std::optional<qint64> used = kilobytes(fileText(QStringLiteral("/proc/self/status")), "VmSize"))
      room.addressSpace = qint64(limit.rlim_cur) - *used - addressSpaceReserveBytes;
  return room;
}

} // namespace crel::MemoryRoom
