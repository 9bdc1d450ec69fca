#pragma once

#include <QDir>
#include <QImage>

namespace crel::DraftRenderingTests {

// Degenerate marks (a zero-length arrow, empty freehand paths) have no
// extent, never grow the canvas and export the untouched image; a bare
// click draws nothing and a drag back through its origin one mark, with the
// canvas redrawn between events. Its preferences live in a settings file of
// their own inside `settingsFolder`.
void run(const QImage &image, const QDir &settingsFolder);

} // namespace crel::DraftRenderingTests
