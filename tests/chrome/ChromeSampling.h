#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include <cmath>
#include <cstdlib>

namespace crel::test {

// `over` composited with `color` at its alpha, as the painter blends it.
inline QColor composite(QColor color, QColor over) {
  const double a = color.alphaF();
  auto mix = [a](double top, double bottom) { return int(std::lround(255 * (a * top + (1 - a) * bottom))); };
  return QColor(mix(color.redF(), over.redF()), mix(color.greenF(), over.greenF()), mix(color.blueF(), over.blueF()));
}

inline bool near(QColor a, QColor b, int tolerance = 2) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

inline QImage grabImage(QWidget &widget) { return widget.grab().toImage(); }

// Fills the widget white, so what lies on it is read over white.
inline void paintWhite(QWidget &widget) {
  widget.setAutoFillBackground(true);
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, Qt::white);
  widget.setPalette(palette);
}

} // namespace crel::test
