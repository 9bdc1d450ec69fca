#pragma once

#include "SurfaceVariant.h"

#include <QRectF>

#include <optional>

class QPainter;

namespace crel {

// Paints the pane of a floating chrome element: the shadow under it, the
// fill, and the hairline strokes. A widget paints the shadow (which reaches
// past its own rectangle, see ShadowCaster) and the fill before its
// content, the strokes after. Strokes lie wholly inside the outline, so a
// widget whose rectangle is the outline shows them whole.
namespace ChromeSurfacePainter {

void paintShadow(QPainter &painter, const QRectF &rect, std::optional<double> cornerRadius, const SurfaceLook &look);
void paintFill(QPainter &painter, const QRectF &rect, std::optional<double> cornerRadius, const SurfaceLook &look);
void paintStrokes(QPainter &painter, const QRectF &rect, std::optional<double> cornerRadius, const SurfaceLook &look);
// Shadow, fill and strokes: a surface with nothing on it.
void paint(QPainter &painter, const QRectF &rect, std::optional<double> cornerRadius, const SurfaceLook &look);

} // namespace ChromeSurfacePainter

} // namespace crel
