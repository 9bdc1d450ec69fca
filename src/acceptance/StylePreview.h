#pragma once

#include <QString>

namespace crel::StylePreview {

// Writes formal.png, doodle.png, extension-light.png and extension-dark.png
// into `folder` (created with its parents): fixed sample marks on painted
// sheets, each the PNG the document's export makes. Preferences live in a
// private domain removed on every exit. Throws on the first failure; files
// written before it stay.
void render(const QString &folder);

// Writes one formal Blue arrow's outline as a one-line SVG file, atomically.
void exportArrowSVG(const QString &file);

} // namespace crel::StylePreview
