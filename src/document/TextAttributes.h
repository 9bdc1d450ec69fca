#pragma once

#include <QColor>
#include <QFont>

namespace crel {

// Font and colour a text is laid out and painted with (see TextLayout).
struct TextAttributes {
  QFont font;
  QColor color;
};

} // namespace crel
