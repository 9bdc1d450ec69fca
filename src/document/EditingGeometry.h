#pragma once

#include "Mark.h"
#include "MarkHandle.h"

#include <QPointF>

namespace crel::EditingGeometry {

// The point that stays fixed while `handle` of `mark` is dragged (the centre of
// bounds for the rotation handle).
QPointF opposite(MarkHandle handle, const Mark &mark);

// `point` moved so that the box from `anchor` to it has width / height =
// `ratio` (at least 0.001); the larger extent wins and the result stays on
// the point's side of the anchor (a tie counts as the positive side).
QPointF proportional(QPointF point, QPointF anchor, double ratio);

} // namespace crel::EditingGeometry
