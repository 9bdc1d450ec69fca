#pragma once

#include <QImage>
#include <QProcessEnvironment>
#include <QRect>
#include <QRectF>
#include <QString>

#include <optional>
#include <vector>

namespace crel {

// One output as the Wayland compositor lays it out. XWayland shows each
// output as an X screen at its logical rectangle with no scale of its own,
// so only the compositor knows how many pixels an output really has.
struct WaylandOutput {
  QString name;
  QRect logical; // in the compositor's layout
  QSize pixels;  // as shown, rotation applied
  // The compositor's scale: the simplest in 120ths (as wp-fractional-scale
  // has it) that fits the pixels to the logical size within a point on both
  // axes, since a fractional logical size comes rounded (2560 pixels at 1.5
  // are 1706 wide); else the width's ratio.
  qreal scale() const;
};

namespace WaylandOutputs {

// The compositor's outputs; nothing when there is no Wayland display or it
// does not tell the logical layout (no xdg-output), or when it does not
// answer within `timeoutMs`. An output whose far edge lies past int is left
// out.
std::optional<std::vector<WaylandOutput>> query(const QProcessEnvironment &environment, int timeoutMs = 3000);

// The index of the output each screen shows, -1 where none: XWayland puts a
// screen at its output's logical top-left, as large or up to 8 logical pixels
// smaller (its modes step by 8, and a fractional logical size is rounded
// apart). The nearest output wins, each output once; one whose logical size
// no scale from 1/8 to 8 makes of its pixels, on either axis, never.
std::vector<qsizetype> pair(const std::vector<QRectF> &screens, const std::vector<WaylandOutput> &outputs);

// The output's own pixels through the compositor's screencopy, where it
// offers that; a null image otherwise.
QImage capture(const QProcessEnvironment &environment, const QString &outputName, int timeoutMs = 5000);

} // namespace WaylandOutputs

} // namespace crel
