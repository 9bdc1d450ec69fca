#include "MemoryFootprint.h"

#include "Failure.h"

#include "platform/base/MemoryRoom.h"

#include <QFile>

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime; g++ ships no header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace crel::NativeTests::MemoryFootprint {

std::optional<qint64> fromStatus(const QByteArray &status) {
  const std::optional<qint64> anonymous = MemoryRoom::kilobytes(status, "RssAnon");
  const std::optional<qint64> swapped = MemoryRoom::kilobytes(status, "VmSwap");
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
