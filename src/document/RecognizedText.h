#pragma once

#include "document/RecognizedWord.h"

#include <QList>
#include <QPointF>

#include <optional>

namespace crel {

class Pasteboard;

// The words found on an image, in reading order (line by line, each line in
// word order), and the pure operations that pick, outline and copy them. All
// points, tolerances and rectangles are in image pixels.
struct RecognizedText {
  QList<RecognizedWord> words;

  static RecognizedText empty() { return {}; }

  // The word whose rect, grown by `tolerance`, holds `point` (left/top edges
  // inside, right/bottom outside); among several, the nearest centre, then
  // the earliest.
  std::optional<RecognizedWord> wordAt(QPointF point, double tolerance) const;

  // The words a reader means by a drag from `start` to `end`: nothing unless
  // the drag starts on a word; line by line in either direction, and between
  // the end lines only within the horizontal span both end lines share.
  QList<RecognizedWord> selection(QPointF start, QPointF end) const;

  // One rectangle per line (ascending line number): the union of its words,
  // grown by 2 on every side.
  static QList<geom::Rect> rectangles(const QList<RecognizedWord> &words);

  // Each line's words by `order`, joined by spaces; lines joined by "\n".
  static QString string(const QList<RecognizedWord> &words);

  // The words whose rect intersects none of `hiddenAreas` (the boxes of the
  // marks that hide text), in order.
  RecognizedText excludingAreas(const QList<geom::Rect> &hiddenAreas) const;

  // Those of `selected`, in their order, that are still words of this text.
  QList<RecognizedWord> keepingAvailable(const QList<RecognizedWord> &selected) const;

  // Puts string() of keepingAvailable(selected) on `pasteboard` as plain
  // text, after clearing it. Returns whether the text is on the pasteboard:
  // false, touching nothing, when none of the selected words is available,
  // and false when the pasteboard refused the text (so that no "copied"
  // status claims a copy that did not happen).
  bool copy(const QList<RecognizedWord> &selected, Pasteboard &pasteboard) const;

  // The status a successful copy shows.
  static QString copiedStatus();

  friend bool operator==(const RecognizedText &, const RecognizedText &) = default;
};

} // namespace crel
