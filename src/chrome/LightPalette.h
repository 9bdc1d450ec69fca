#pragma once

#include <QPalette>

class QApplication;
class QWidget;

namespace crel {

// Every window of the application is light, whatever the desktop's theme.
// Qt 6.4 has no colour-scheme hint, so this is an explicit palette with every
// role of every group set (a platform theme cannot resolve a role of its own
// into it) and the Fusion style, which draws with the palette as given.
namespace LightPalette {

// The light palette, highlight and links in the brand's primary colour.
QPalette palette();
// Fusion style, the light palette and the chrome's application font for the
// whole application. Call once, after the QApplication exists.
void install(QApplication &app);
// Gives one window the light palette explicitly, so it stays light even
// where the application palette was changed (a dark preview elsewhere).
void apply(QWidget *window);

} // namespace LightPalette

} // namespace crel
