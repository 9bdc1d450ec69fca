#pragma once

#include "Mark.h"
#include "MarkHandle.h"

#include "platform/base/Geometry.h"

#include <QList>
#include <QPointF>
#include <QTransform>

// Geometry of one mark: pure functions of its value, in image pixels, in the
// mark's unrotated frame unless a function says it works on screen (rotated).
// Edits return a new mark and never report errors.
namespace crel {

// Line width actually drawn: for an arrow min(width, length / 6), else width.
double effectiveLineWidth(const Mark &mark);

// Unrotated box of the mark's geometry; null for a regions mark without regions.
geom::Rect bounds(const Mark &mark);
// Unrotated box of what the mark paints (stroke included); null when it paints nothing.
geom::Rect localVisualBounds(const Mark &mark);
// Bounding box of localVisualBounds after the mark's rotation; null stays null.
geom::Rect visualBounds(const Mark &mark);

// Rotation by `rotation` about the centre of bounds; identity when there is no
// finite, non-zero rotation or the centre is not finite.
QTransform rotationTransform(const Mark &mark);
// Copy with `angle` normalised into (-π, π]; no rotation below 1e-7; unchanged for a non-finite angle.
Mark rotated(const Mark &mark, double angle);

// The rotation handle, 30 view points above the top of the mark at `scale` view points per pixel, rotated.
QPointF rotationHandle(const Mark &mark, double scale);
// Resize handles in the unrotated frame: none (regions), start/end (arrow, line),
// bottomRight (text), or the corners TL, TR, BL, BR.
QList<MarkHandlePoint> handles(const Mark &mark);
// The rotation handle first (it wins ties), then the resize handles, all rotated.
QList<MarkHandlePoint> selectionHandles(const Mark &mark, double scale);

// Whether `point` (screen frame) touches the mark within `tolerance` pixels.
bool hitTest(const Mark &mark, QPointF point, double tolerance);

// Copy translated by (dx, dy), regions included.
Mark moved(const Mark &mark, double dx, double dy);
// Copy with `handle` dragged to `point` given in the screen frame; what the
// drag does not move stays put on screen. The rotation handle changes nothing.
Mark resized(const Mark &mark, MarkHandle handle, QPointF point);
// The same drag in the unrotated frame.
Mark resizedLocally(const Mark &mark, MarkHandle handle, QPointF point);

} // namespace crel
