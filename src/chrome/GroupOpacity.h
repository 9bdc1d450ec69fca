#pragma once

#include <QRect>

#include <functional>

class QPainter;

namespace crel {

// Paints what `draw` draws over `rect` as one picture at `opacity`, the way a
// dimmed control looks: a white knob stays white over its track instead of
// letting the track show through. Opacity 1 draws directly.
void paintWithGroupOpacity(QPainter &painter, const QRect &rect, double opacity,
                           const std::function<void(QPainter &)> &draw);

} // namespace crel
