#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace crel {

// The small picture on a weight or text-size preset. The kit knows no tools:
// the caller picks the kind (the text tool shows letters, the step tool dots,
// the highlighter translucent bars, every other tool strokes).
namespace WeightGlyph {

enum class Kind { letter, dot, marker, stroke };
inline constexpr int presetCount = 4;

// The glyph's size for preset `index` (0 to 3; others are clamped): the
// letter's font size as both width and height, else the shape's frame.
QSizeF size(Kind kind, int index);
// Paints the glyph centred in `rect` in `color` (the segment's label colour).
void paint(QPainter &painter, const QRectF &rect, Kind kind, int index, const QColor &color);

} // namespace WeightGlyph

} // namespace crel
