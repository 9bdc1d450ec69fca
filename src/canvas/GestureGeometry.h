#pragma once

#include <QPointF>

#include <numbers>

// The Shift constraints of pointer gestures, in image pixels. Angles are
// rounded to their step with halves away from zero.
namespace crel::GestureGeometry {

inline constexpr double rotationStep = std::numbers::pi / 12;
inline constexpr double directionStep = std::numbers::pi / 4;

// `point` on the horizontal or vertical through `anchor`, whichever is
// nearer; a tie keeps the horizontal.
QPointF axisLocked(QPointF anchor, QPointF point);
// `point` projected onto the nearest direction from `anchor` that is a
// multiple of `step`.
QPointF directionSnapped(QPointF anchor, QPointF point, double step = directionStep);
// The corner of the square from `anchor` whose side is the larger extent of
// the drag, on the pointer's side of the anchor (a tie counts as positive).
QPointF squared(QPointF anchor, QPointF point);
// `angle` rounded to a multiple of `step`.
double snappedAngle(double angle, double step);

} // namespace crel::GestureGeometry
