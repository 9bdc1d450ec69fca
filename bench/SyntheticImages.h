#pragma once

#include <QImage>

// Deterministic stand-ins for what the application saves, made without fonts
// or files so that every machine benchmarks the same pixels.
namespace crel::bench {

// A desktop screenshot: wallpaper gradient, windows with title bars, sidebars,
// lines of anti-aliased glyphs repeated as text is, icons, buttons, a dark code
// view, and annotation shapes (arrow, outlines, translucent highlight).
QImage uiScreenshot(int width, int height);

// A photograph: several octaves of smooth value noise per channel plus fine grain.
QImage photo(int width, int height);

} // namespace crel::bench
