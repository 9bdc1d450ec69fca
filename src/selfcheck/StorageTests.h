#pragma once

#include <QDir>
#include <QImage>

namespace crel::NativeTests::StorageTests {

// Where Open Image starts and what it may pick, and an opened image's working
// copy: saved beside the captures, the original untouched, a removed folder
// made again.
void run(const QImage &image, const QDir &root);

} // namespace crel::NativeTests::StorageTests
