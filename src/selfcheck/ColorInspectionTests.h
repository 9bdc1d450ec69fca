#pragma once

#include <QDir>

namespace crel::ColorInspectionTests {

// Pixel-colour inspection end to end on a fixture of its own: exact straight
// sRGB samples of the document and nothing outside it; the canvas readout
// through hover, zoom and pan; Alt-click and context-menu copies; no readout
// outside the image or canvas or under the chrome; edits refreshing a still
// pointer; and samples that agree with the export of a grown, annotated
// canvas. Its preferences live in a settings file inside `root`.
void run(const QDir &root);

} // namespace crel::ColorInspectionTests
