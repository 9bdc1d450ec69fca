#include "MemoryFootprint.h"

#include "Failure.h"

#include <QFile>
#include <QList>

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime; g++ ships no header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace crel::NativeTests::MemoryFootprint {

namespace {

// The value of a "Name:   1234 kB" line, in bytes.
std::optional<qint64> kilobytes(const QByteArray &status, const QByteArray &name) {
  for (const QByteArray &line : status.split('\n')) {
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

} // namespace

std::optional<qint64> fromStatus(const QByteArray &status) {
  const std::optional<qint64> anonymous = kilobytes(status, "RssAnon");
  const std::optional<qint64> swapped = kilobytes(status, "VmSwap");
  if (!anonymous || !swapped)
    return std::nullopt;
  return *anonymous + *swapped;
}

qint64 read() {
#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer keeps freed blocks in quarantine and adds shadow memory,
  // so resident pages say nothing about what the program still holds; its
  // allocator's count of live bytes does.
  return qint64(__sanitizer_get_current_allocated_bytes());
#endif
  QFile file(QStringLiteral("/proc/self/status"));
  if (!file.open(QIODevice::ReadOnly))
    throw Failure(QStringLiteral("The memory footprint could not be read: /proc/self/status did not open (%1)")
                      .arg(file.errorString()));
  const std::optional<qint64> bytes = fromStatus(file.readAll());
  if (!bytes)
    throw Failure(QStringLiteral("The memory footprint could not be read: /proc/self/status has no RssAnon and "
                                 "VmSwap in kB"));
  return *bytes;
}

} // namespace crel::NativeTests::MemoryFootprint
