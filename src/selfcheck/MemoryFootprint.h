#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace crel::NativeTests::MemoryFootprint {

// The process's own memory, as the closest Linux twin of a physical
// footprint: anonymous resident pages plus what was swapped out (RssAnon +
// VmSwap of /proc/self/status). File-backed pages (libraries, fonts) are
// left out: the kernel may drop and reread them at will. Read as it is: the
// application gives freed memory back itself when its last editor closes, and
// what it keeps instead is what a user sees. Under AddressSanitizer: the
// bytes its allocator holds live.
// Throws Failure naming what could not be read.
qint64 read();

// The bytes that `status` (the text of /proc/<pid>/status) gives for
// RssAnon + VmSwap; none when either line is missing or malformed.
std::optional<qint64> fromStatus(const QByteArray &status);

} // namespace crel::NativeTests::MemoryFootprint
