#pragma once

#include "app/CommandLine.h"

#include <QString>

namespace crel::LiveEditorCapture {

// Photographs real editor windows as the X server composes them, frame and
// title bar included, each placed just below an opaque window of another
// program that covers it: live-<scene>.png per scene at frame × the screen's
// scale. Without an X server with the Composite extension, or without such a
// cover, writes skipped.txt, prints a "SKIPPED: " line and returns. Options
// (--fixture, --marks, --title, --size) come from `commandLine`. Scratch
// preferences and autosave folder are removed on every exit. Throws on
// failure.
void run(const QString &folder, const CommandLine &commandLine);

// The outcome without an X11 display (no DISPLAY, a Wayland-only or offscreen
// session): skipped.txt and the SKIPPED line, before any application exists.
void skipWithoutX11(const QString &folder);

} // namespace crel::LiveEditorCapture
