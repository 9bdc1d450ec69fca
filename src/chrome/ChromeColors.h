#pragma once

#include <QColor>

class QPalette;

namespace crel {

// The chrome's fixed colours in the light appearance every window uses.
// Labels are translucent black, like the desktop label colours they stand
// for, so they take on a little of what lies beneath; QPalette::WindowText
// is opaque in Fusion and would look heavier.
namespace ChromeColors {

QColor label();          // black at 0.85
QColor secondaryLabel(); // black at 0.50
QColor tertiaryLabel();  // black at 0.26
QColor red();            // the system red of destructive actions
QColor primary();        // AppTheme::primary(), for selected and prominent controls

// The same label levels for a widget drawn on `palette`'s window colour: as
// above on a light window, in white on a dark one (the dark settings preview),
// so text keeps its contrast wherever the kit is shown.
QColor label(const QPalette &palette);
QColor secondaryLabel(const QPalette &palette);

QColor black(double alpha);
QColor white(double alpha);
// `color` with its alpha multiplied by `alpha`.
QColor withAlpha(QColor color, double alpha);

} // namespace ChromeColors

} // namespace crel
