#pragma once

#include <QDir>

namespace crel::BlurTests {

// Blur and pixelate marks end to end on a striped image of its own: pixels
// inside and outside, strength, undo, pasteboard, the update cycle, word
// regions, edges, compositing over lower marks, selection, and a blur drawn
// on a canvas.
void run(const QDir &root);

} // namespace crel::BlurTests
