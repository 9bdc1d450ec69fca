#pragma once

#include <QDir>
#include <QImage>

namespace crel::RotationTests {

// Rotated marks through the document and canvas events: the rotation handle
// as one undo step, hit testing, resizing and moving in screen axes, Shift
// snapping, Alt+Right, reset and Escape; rotated pixels in the export, the
// pasteboard, the autosaved file and update recovery; old marks without a
// rotation, duplicates, rotated arrow ends, canvas growth, the inline editor
// of a rotated label, and rotated blur masks. Its preferences live in a
// settings file inside `root`, its autosave in root/rotation.
void run(const QImage &image, const QDir &root);

} // namespace crel::RotationTests
