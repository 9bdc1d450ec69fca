#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QStringList>

class QPainter;

namespace crel {

// The chrome's symbols, drawn as vector paths and keyed by the names the
// design uses ("arrow.uturn.backward", "folder", "lock.fill", ...), so no
// icon theme is needed and every desktop shows the same glyphs. A symbol is
// sized like a glyph of a font of `pointSize` pixels and stroked heavier for
// heavier weights; its box is snapped to device pixels, so strokes stay
// crisp at 1x and 2x.
namespace Symbols {

QStringList names();
bool has(const QString &name);
// The square a symbol fills at `pointSize`.
double boxSide(double pointSize);
// Paints `name` centred in `rect`; false, painting nothing, for an unknown name.
bool paint(QPainter &painter, const QString &name, const QRectF &rect, double pointSize, QFont::Weight weight,
           const QColor &color);

} // namespace Symbols

} // namespace crel
