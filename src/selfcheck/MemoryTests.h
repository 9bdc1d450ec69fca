#pragma once

#include <QDir>

namespace crel::NativeTests::MemoryTests {

// A closed editor frees its controller, window, canvas and document, and
// full-size screenshots opened, annotated, copied and closed one after
// another leave the process's memory where it was.
void run(const QDir &root);

} // namespace crel::NativeTests::MemoryTests
