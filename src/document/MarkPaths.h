#pragma once

#include "Mark.h"
#include "MarkPath.h"
#include "TextAttributes.h"

#include <QList>
#include <QPointF>

// Outlines of marks for both annotation styles, in image pixels in the
// mark's unrotated frame. Built anew on every call; the doodle look comes
// from fixed factors, so the same mark always gives the same path.
namespace crel {

// Length of the arrow head along the shaft: min(w·2.9·arrowHeadScale, 0.46·length).
double arrowHeadLength(const Mark &mark);
// Half the width of the arrow head across its base: max(0.62·w, 0.483·head length).
double arrowHeadHalfWidth(const Mark &mark);
// The two barb points of a straight arrow head.
QList<QPointF> arrowHeadPoints(const Mark &mark);

// True when path() is an outline to fill (a formal or constrained arrow), not a stroke.
// Tools whose doodle style draws a hand-made form of their shape.
bool hasDoodleForm(MarkTool tool);

bool fillsPath(const Mark &mark);
// The mark's outline for its tool and style, with the stroke width set unless it is filled.
MarkPath path(const Mark &mark);
// Filled rounded arrow outline from start to end; empty for a zero-length arrow.
MarkPath formalArrowPath(const Mark &mark);
// Hand-drawn path of line-like and box-like tools; empty for other tools.
MarkPath doodlePath(const Mark &mark);

// The style's font at fontSize and the ink as an opaque colour.
TextAttributes textAttributes(const Mark &mark);

} // namespace crel
