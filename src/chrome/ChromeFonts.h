#pragma once

#include <QFont>

namespace crel {

// Chrome text is sized in pixels, as the design gives it (11.5, 12, 13, ...).
// QFont::setPixelSize takes whole pixels only, so sizes are set in points at
// the 96 dpi the application pins (QT_FONT_DPI): px * 72 / 96 points.
namespace ChromeFonts {

inline constexpr double pinnedDpi = 96;

// The bundle's formal family (DejaVu Sans), so chrome text measures the
// same on every machine.
QString family();
QFont font(double pixelSize, QFont::Weight weight = QFont::Normal);
// The application font: family() at 13 px. Windows and tests set it once.
QFont applicationFont();

} // namespace ChromeFonts

} // namespace crel
