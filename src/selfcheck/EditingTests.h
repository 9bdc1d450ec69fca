#pragma once

#include <QDir>
#include <QImage>

namespace crel::EditingTests {

// Editing through real canvas events: Shift constraints while drawing,
// moving and resizing, drawing over marks, the marker, per-tool settings,
// Ctrl-drag as a temporary move, zoom, step numbers, layer order and
// redaction. Its preferences live in a settings file inside `root`.
void run(const QImage &image, const QDir &root);

} // namespace crel::EditingTests
