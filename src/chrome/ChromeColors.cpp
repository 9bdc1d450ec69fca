#include "ChromeColors.h"

#include "platform/desktop/AppTheme.h"

#include <QPalette>

namespace crel::ChromeColors {

QColor black(double alpha) { return QColor::fromRgbF(0, 0, 0, float(alpha)); }
QColor white(double alpha) { return QColor::fromRgbF(1, 1, 1, float(alpha)); }

QColor withAlpha(QColor color, double alpha) {
  color.setAlphaF(float(color.alphaF() * alpha));
  return color;
}

QColor label() { return black(0.85); }
QColor secondaryLabel() { return black(0.5); }
QColor tertiaryLabel() { return black(0.26); }
QColor red() { return QColor(0xFF, 0x3B, 0x30); }
QColor primary() { return AppTheme::primary(); }

namespace {
bool isDark(const QPalette &palette) { return palette.color(QPalette::Window).lightnessF() < 0.5; }
} // namespace

QColor label(const QPalette &palette) { return isDark(palette) ? white(0.85) : label(); }
QColor secondaryLabel(const QPalette &palette) { return isDark(palette) ? white(0.55) : secondaryLabel(); }

} // namespace crel::ChromeColors
