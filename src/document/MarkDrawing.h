#pragma once

#include "Ink.h"
#include "Mark.h"

#include <QColor>
#include <QFont>

class QPainter;

// Painting one mark with QPainter, in the painter's current coordinates
// (image pixels); the mark's rotation is applied here. Every fill uses the
// non-zero winding rule. Meant for Format_ARGB32_Premultiplied raster images:
// highlights use the multiply and screen composition modes.
namespace crel {

// Paints `mark` and leaves the painter's state as it was. Blur marks paint
// nothing here: they show a filtered copy of what lies beneath them, which
// the caller renders itself (the blur renderer), so a painting loop hands
// them over instead of calling this.
void draw(QPainter &painter, const Mark &mark);

// Black on light inks (BT.709 luma of the stored sRGB values above 0.6), else white.
QColor stepLabelColor(const Ink &ink);
// Bold formal face at 0.52 of the step disc's diameter.
QFont stepLabelFont(double width);

} // namespace crel
