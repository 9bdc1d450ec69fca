#pragma once

#include <QDir>
#include <QImage>

namespace crel::NativeTests {

// Real pointer and key events on a canvas in a window that is never shown:
// drawing with every shape tool, selecting, nudging, deleting, cancelling,
// handle edits, tool letters, resize geometry and custom colours; then inline
// text typed on the image, its undo step, its autosave and its copy.
void canvasInputChecks(const QImage &image, const QDir &root);

} // namespace crel::NativeTests
