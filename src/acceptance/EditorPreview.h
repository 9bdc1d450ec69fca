#pragma once

#include <QString>

namespace crel::EditorPreview {

struct Options {
  bool quick = false;           // the stored size only, three scenes
  bool colorInspection = false; // the one "color" scene, with the hover check
};

// For each editor size and scene: the prepared document saved as
// fixture-<scene>-light-<size>.png and the real editor window, never shown
// on screen, drawn into editor-<scene>-light-<size>.png. The picture is the
// window's client area with the editor's own chrome (no window-manager
// decorations). Prints one "Rendered editor ..." line per window. The preview
// flag of the chrome is on, and preferences sit in a private domain, for the
// whole run; both are undone on every exit. Throws on the first failure.
void render(const QString &folder, Options options);

} // namespace crel::EditorPreview
