#pragma once

#include "document/Mark.h"

#include <QObject>
#include <QPointF>
#include <QPointer>

#include <optional>

namespace crel {

class CanvasView;
class InlineTextView;

// Typing a text mark directly on the image. Opening the editor opens an edit
// bracket owned by the editor, so all the typing into one mark is one undo
// step, or is rolled back on Escape; every keystroke is written into the
// mark at once, keeping its start corner where it is on screen.
class InlineTextEditor : public QObject {
  Q_OBJECT
public:
  explicit InlineTextEditor(CanvasView &canvas);
  ~InlineTextEditor() override;

  // Opens the editor for `editing`, or for a new text mark at `point` (image
  // pixels) when there is none. Finishes any edit already open first.
  void begin(QPointF point, const std::optional<Mark> &editing = std::nullopt);
  // Closes the editor keeping the text, or with `cancel` restoring what was
  // there before it opened. An empty text (only white space) removes the
  // mark. Does nothing when no editor is open.
  void finish(bool cancel);
  // Places and styles the open editor from its mark.
  void updatePlacement();

  bool isOpen() const;
  InlineTextView *view() const;

  static QString typingStatus();

private:
  void textDidChange();

  CanvasView &canvas_;
  QPointer<InlineTextView> view_;
};

} // namespace crel
