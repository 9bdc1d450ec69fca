#pragma once

#include "platform/Geometry.h"

#include <QList>
#include <QString>

namespace crel {

// One recognised text line as the recogniser reports it, in image pixels
// (origin top-left, y down). `text` is the line's best reading; `wordRects`
// holds the box of each whitespace-free run of `text`, in string order; a
// null rect means the recogniser could not place that run.
struct TextObservation {
  QString text;
  geom::Rect bounds;
  float confidence = 0; // 0 to 1
  QList<geom::Rect> wordRects;

  friend bool operator==(const TextObservation &, const TextObservation &) = default;
};

} // namespace crel
