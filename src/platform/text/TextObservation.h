#pragma once

#include "platform/base/Geometry.h"

#include <QList>
#include <QString>

namespace crel {

// One recognised text line as the recogniser reports it, in image pixels
// (origin top-left, y down): its words in reading order, each with its own
// box, so that a word's box never depends on how the others are spelt. A
// word's text holds no whitespace; a null rect means the recogniser could
// not place that word.
struct TextObservation {
  struct Word {
    QString text;
    geom::Rect rect;

    friend bool operator==(const Word &, const Word &) = default;
  };

  QList<Word> words;
  geom::Rect bounds;
  float confidence = 0; // 0 to 1

  friend bool operator==(const TextObservation &, const TextObservation &) = default;
};

} // namespace crel
