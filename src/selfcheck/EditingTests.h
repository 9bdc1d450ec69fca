#pragma once

#include <QDir>
#include <QImage>

namespace crel {
class AnnotationPreferences;
}

namespace crel::EditingTests {

// Editing through real canvas events: Shift constraints while drawing,
// moving and resizing, drawing over marks, the marker, per-tool settings,
// Ctrl-drag as a temporary move, zoom, step numbers, layer order and
// redaction; then the text-recognition checks. Its preferences live in a
// settings file inside `root`.
void run(const QImage &image, const QDir &root);

// Real recognition of the text page: word selection across lines, the smart
// highlight drawn on a canvas and its export over black and white text,
// copying recognised text, smart redaction and blur, and their survival
// through JSON and update recovery. Writes three images of the results into
// ".attachments/native/editor-030" under the current directory.
void ocrChecks(const QDir &root, AnnotationPreferences &preferences);

} // namespace crel::EditingTests
