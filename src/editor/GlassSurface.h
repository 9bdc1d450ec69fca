#pragma once

#include <QSize>

class QWidget;

namespace crel {

class EditorView;
class GlassContainer;

// How windows are dressed: a light appearance whatever the desktop's theme,
// and the editor's interface over the painted stage.
namespace GlassSurface {

// Set only while the headless editor renderer draws windows into files: the
// floating surfaces then take their opaque form.
bool previewRendering();
void setPreviewRendering(bool on);

// Makes the window's content the stage with `view` laid over its whole
// client area. The window's size is left to its owner.
void installEditor(EditorView *view, QWidget &window);

// Makes the window's content a glass container around `view` and sizes the
// window's client area to the view's fitting size, keeping its origin. A
// scrolling view lets the backdrop show through it.
GlassContainer *install(QWidget *view, QWidget &window);

// Sizes the window's client area, keeping the frame's origin.
void setContentSize(QSize size, QWidget &window);

} // namespace GlassSurface

} // namespace crel
