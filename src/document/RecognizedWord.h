#pragma once

#include "platform/base/Geometry.h"

#include <QString>

namespace crel {

// One recognised word. `rect` is in image pixels (origin top-left, y down);
// `line` numbers the recognised lines in reading order and `order` the words
// within a line, both from 0 and both with gaps where something was dropped.
// Compared exactly, field by field.
struct RecognizedWord {
  QString text;
  geom::Rect rect;
  int line = 0;
  int order = 0;

  friend bool operator==(const RecognizedWord &, const RecognizedWord &) = default;
};

} // namespace crel
