#pragma once

#include <QDir>
#include <QImage>

namespace crel {
class AnnotationPreferences;
}

namespace crel::StyleCanvasTests {

// The style suite: annotation styles and arrow geometry, the style state
// checks, then canvas growth, update recovery and the editor stage. Its
// preferences live in a settings file of their own inside `root`.
void run(const QImage &image, const QDir &root);

// Per-tool stroke memory and the annotation style as undoable state shared
// with `preferences` across documents and history formats.
void stateChecks(const QImage &image, const QDir &root, AnnotationPreferences &preferences);

// Canvas growth past every edge, its neutral grained surface, the copy and
// history of a grown canvas, on a Doodle document.
void growthChecks(const QImage &image, const QDir &root, AnnotationPreferences &preferences);

} // namespace crel::StyleCanvasTests
