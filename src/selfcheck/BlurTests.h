#pragma once

#include <QDir>

namespace crel::BlurTests {

// Blur and pixelate marks end to end on a striped image of its own: pixels
// inside and outside, strength, undo, pasteboard, the update cycle, word
// regions, edges, compositing over lower marks and selection.
void run(const QDir &root);

} // namespace crel::BlurTests
