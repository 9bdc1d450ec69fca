#pragma once

#include <QPainterPath>
#include <QRectF>

#include <optional>

namespace crel {

// The outlines the chrome draws: a capsule (no corner radius; the radius is
// half the shorter side, whatever the size) or a rounded rectangle. Corners
// are circular arcs; the desktop's continuous corners differ by less than a
// pixel at chrome sizes.
namespace ChromeShape {

QPainterPath path(const QRectF &rect, std::optional<double> cornerRadius);
// The corner radius actually drawn for `rect`.
double effectiveRadius(const QRectF &rect, std::optional<double> cornerRadius);
// Whether `point` lies inside the outline (the hit area of shaped controls).
bool contains(const QRectF &rect, std::optional<double> cornerRadius, QPointF point);

} // namespace ChromeShape

} // namespace crel
