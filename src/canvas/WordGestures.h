#pragma once

#include "document/Mark.h"
#include "document/RecognizedText.h"

#include <QObject>
#include <QPointF>

#include <optional>

namespace crel {

class CanvasView;
class CrelDocument;

// Word tools on recognised text: a press-drag picks a range of words
// (extract) or covers them line by line with one highlight, redact or blur
// mark; hovering finds the word under the pointer and picks the cursor.
// Points are image pixels unless named view points.
class WordGestures : public QObject {
  Q_OBJECT
public:
  static constexpr double hoverTolerance = 4;

  explicit WordGestures(CanvasView &canvas);

  // extract, or highlight/redact/blur in text mode.
  static bool isWordTool(const CrelDocument &document);

  // Every step of a word gesture (its press, each drag step and a Shift
  // change) with the latest pointer point.
  void drag(QPointF p);
  // The release: picks the final range, commits a draft that covers any
  // words as one mark (selected, tool kept) and leaves no draft behind; an
  // empty pick shows why in the status. The caller then ends the gesture.
  // Does nothing once the gesture was cancelled (no anchor).
  void release(QPointF p);

  // Hover at `viewPoint`: the word under it for the word tools, and the
  // cursor (open hand while Space is held, I-beam over a word, arrow for
  // select and over the chrome, crosshair otherwise).
  void hover(QPointF viewPoint, bool spaceHeld);
  // The pointer left the canvas.
  void leave();

  // The draft mark covering `words` (image pixels), keeping `id`.
  Mark wordMark(const QList<RecognizedWord> &words, QPointF anchor, QPointF p, const QUuid &id) const;
  // One flag per region: whether the screenshot under it is dark.
  QList<bool> darkRegions(const QList<geom::Rect> &regions) const;

  // The available words, cached until the marks or the recognised text change.
  const RecognizedText &availableText();

private:
  void update(QPointF p);

  CanvasView &canvas_;
  std::optional<RecognizedText> available_;
};

} // namespace crel
