#pragma once

#include <QDir>
#include <QImage>

namespace crel::NativeTests {

// How a new capture is named, and how its PNG follows every change, undo
// and redo without a save dialog, a failing folder and the recovery.
void autosaveChecks(const QImage &image, const QDir &root);

} // namespace crel::NativeTests
