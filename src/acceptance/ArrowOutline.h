#pragma once

#include "document/MarkPath.h"

#include <QByteArray>

namespace crel::ArrowOutline {

// One line of SVG holding `path` as a single path element: the view box is
// the path's tight bounds grown by 1 on every side, moved to the origin.
// Every number has two decimals and a '.' whatever the locale; elements
// follow each other with no separator, and a close stays an explicit "Z".
QByteArray svg(const MarkPath &path);

} // namespace crel::ArrowOutline
