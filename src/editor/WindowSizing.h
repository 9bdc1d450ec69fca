#pragma once

#include <QRect>
#include <QSize>

#include <optional>

namespace crel {

// Frame arithmetic of editor windows, in Qt's global coordinates (y down).
// A frame includes the window manager's decorations; `decorations` is the
// frame's size less the client area's.
namespace WindowSizing {

// The frame that gives the client area `content` while keeping the old
// frame's horizontal centre and top edge, shrunk and moved into `visible`
// (a screen's available area) when there is one.
QRect resizedFrame(const QRect &oldFrame, QSize decorations, QSize content, const std::optional<QRect> &visible);

// `frame` moved so that it is centred in `visible`, moved no further up
// than visible's top edge.
QRect centredFrame(const QRect &frame, const QRect &visible);

} // namespace WindowSizing

} // namespace crel
