#pragma once

#include "document/Mark.h"
#include "document/TextLayout.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QTransform>
#include <QWidget>

#include <functional>
#include <optional>

namespace crel {

// The editor laid over a text mark while it is typed. It lays its text out
// with the same TextLayout, font, box width and rotation the mark is drawn
// with, so what is typed looks exactly like the committed mark and nothing
// moves when editing ends. QTextDocument keeps the text, the cursor and the
// undo steps; the widget covers the rotated box and paints it itself.
//
// Escape (unless an input method is composing) cancels; Return and keypad
// Enter finish, Shift+Return inserts a line break, both left to the input
// method while it composes.
class InlineTextView : public QWidget {
  Q_OBJECT
public:
  explicit InlineTextView(QWidget *canvas);

  // The most characters (UTF-16 units) the text holds after a paste: a
  // paste brings in only what fits, cut between two graphemes. Every
  // keystroke lays the whole text out again, and a long unbroken word wraps
  // in time that grows with its length squared; this keeps both the paste
  // and the typing after it quick. Typing itself is not bounded.
  static constexpr qsizetype maxLengthAfterPaste = 2'000;

  // Called with true to cancel, false to finish.
  std::function<void(bool)> onFinish;

  QString text() const;
  // Replaces the text without an undo step and puts the cursor at the end.
  void setText(const QString &text);
  // Whether an input method is composing (shows uncommitted text).
  bool hasMarkedText() const { return !preedit_.isEmpty(); }
  int cursorPosition() const { return cursor_.position(); }
  QTextCursor &cursor() { return cursor_; }

  // Where and how to show the text: the mark (font, ink, box, rotation) and
  // the canvas's map from image pixels to its view points. Moves and resizes
  // the widget to cover the rotated box.
  void setPresentation(const Mark &mark, const QTransform &imageToCanvas);
  const Mark &mark() const { return mark_; }
  // Image pixels to this widget's coordinates, rotation included.
  QTransform imageToWidget() const;
  // The box's corners in the canvas's view points: top-left, top-right,
  // bottom-right, bottom-left of the unrotated box, each rotated.
  QPolygonF frameInCanvas() const;

  // Paints only the text (or the placeholder), as paintEvent does; only what
  // reaches `area` (in this widget's coordinates) when it is given.
  void paintText(QPainter &painter, const QRect &area = {}) const;

Q_SIGNALS:
  void textChanged();

protected:
  bool event(QEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void inputMethodEvent(QInputMethodEvent *event) override;
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  bool focusNextPrevChild(bool next) override;
  void focusInEvent(QFocusEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;

private:
  QString displayText() const;
  // The layout of the shown text, made again only after the text, the
  // composition or the font changed: a long text costs nothing while idle.
  const TextLayout &shownLayout() const;
  void textLaidOutAnew();
  // What the blink repaints, in this widget's coordinates.
  QRect caretArea() const;
  int positionAt(QPointF widgetPoint) const;
  bool handleEditingKey(QKeyEvent *event);
  void moveVertically(int lines, QTextCursor::MoveMode mode);
  void moveToLineEdge(bool end, QTextCursor::MoveMode mode);
  void insert(const QString &text);
  void paste();
  void restartBlink();

  QTextDocument document_;
  QTextCursor cursor_;
  QString preedit_;
  int preeditCursor_ = 0;
  Mark mark_;
  QTransform imageToCanvas_;
  QTimer blink_;
  bool caretShown_ = true;
  mutable std::optional<TextLayout> shownLayout_;
};

} // namespace crel
