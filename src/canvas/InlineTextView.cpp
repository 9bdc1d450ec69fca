#include "InlineTextView.h"

#include "document/MarkGeometry.h"
#include "document/MarkPaths.h"
#include "document/TextLayout.h"
#include "platform/base/Translate.h"
#include "platform/clipboard/Pasteboard.h"
#include "platform/desktop/AppTheme.h"

#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleHints>
#include <QTextBlock>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <array>
#include <cmath>

namespace crel {

namespace {

QColor withAlpha(QColor color, double alpha) {
  color.setAlphaF(float(alpha));
  return color;
}

// The text QTextDocument hands out with its block and line separators as '\n'.
QString plain(QString text) {
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  text.replace(QChar::LineSeparator, QLatin1Char('\n'));
  return text;
}

// Editing keys taken before any shortcut of the window can claim them.
constexpr std::array editingKeys{
    QKeySequence::Undo,
    QKeySequence::Redo,
    QKeySequence::SelectAll,
    QKeySequence::Copy,
    QKeySequence::Cut,
    QKeySequence::Paste,
    QKeySequence::Delete,
    QKeySequence::DeleteStartOfWord,
    QKeySequence::DeleteEndOfWord,
    QKeySequence::MoveToNextWord,
    QKeySequence::MoveToPreviousWord,
    QKeySequence::SelectNextWord,
    QKeySequence::SelectPreviousWord,
    QKeySequence::MoveToStartOfDocument,
    QKeySequence::MoveToEndOfDocument,
    QKeySequence::SelectStartOfDocument,
    QKeySequence::SelectEndOfDocument,
};

// The length of the longest start of `text` that is at most `limit` UTF-16
// units long and ends between two graphemes, so no surrogate pair or accent
// is split off.
qsizetype graphemeCut(const QString &text, qsizetype limit) {
  if (text.size() <= limit)
    return text.size();
  // Whether `limit` is a boundary depends on what precedes it and on the one
  // character after it; no need to look at all of a long text.
  QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, QStringView(text).left(limit + 2));
  graphemes.setPosition(limit);
  return graphemes.isAtBoundary() ? limit : std::max<qsizetype>(graphemes.toPreviousBoundary(), 0);
}

} // namespace

InlineTextView::InlineTextView(QWidget *canvas) : QWidget(canvas), cursor_(&document_) {
  setObjectName(QStringLiteral("inline-annotation-text"));
  setAccessibleName(crel::tr("Annotation text on image"));
  setAttribute(Qt::WA_InputMethodEnabled);
  setAttribute(Qt::WA_NoSystemBackground);
  setAutoFillBackground(false);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::IBeamCursor);
  document_.setUndoRedoEnabled(true);
  connect(&document_, &QTextDocument::contentsChanged, this, [this] {
    textLaidOutAnew();
    Q_EMIT textChanged();
  });
  blink_.setInterval(std::max(QGuiApplication::styleHints()->cursorFlashTime() / 2, 1));
  connect(&blink_, &QTimer::timeout, this, [this] {
    caretShown_ = !caretShown_;
    update(caretArea());
  });
}

QString InlineTextView::text() const { return plain(document_.toRawText()); }

void InlineTextView::setText(const QString &text) {
  {
    const QSignalBlocker blocker(&document_);
    document_.setPlainText(text);
  }
  cursor_ = QTextCursor(&document_);
  cursor_.movePosition(QTextCursor::End);
  textLaidOutAnew();
}

void InlineTextView::textLaidOutAnew() {
  shownLayout_.reset();
  update();
}

void InlineTextView::setPresentation(const Mark &mark, const QTransform &imageToCanvas) {
  if (textAttributes(mark).font != textAttributes(mark_).font || mark.textBoxWidth != mark_.textBoxWidth)
    shownLayout_.reset();
  mark_ = mark;
  imageToCanvas_ = imageToCanvas;
  // Room for the border's width around the rotated box.
  const QRect covered = frameInCanvas().boundingRect().adjusted(-3, -3, 3, 3).toAlignedRect();
  if (geometry() != covered)
    setGeometry(covered);
  update();
}

QTransform InlineTextView::imageToWidget() const {
  return rotationTransform(mark_) * imageToCanvas_ * QTransform::fromTranslate(-x(), -y());
}

QPolygonF InlineTextView::frameInCanvas() const {
  const QRectF box = bounds(mark_).toQRectF();
  const QTransform t = rotationTransform(mark_) * imageToCanvas_;
  return {t.map(box.topLeft()), t.map(box.topRight()), t.map(box.bottomRight()), t.map(box.bottomLeft())};
}

QString InlineTextView::displayText() const {
  if (preedit_.isEmpty())
    return text();
  QString shown = text();
  shown.insert(cursor_.position(), preedit_);
  return shown;
}

const TextLayout &InlineTextView::shownLayout() const {
  if (!shownLayout_)
    shownLayout_.emplace(displayText(), textAttributes(mark_).font, mark_.textBoxWidth);
  return *shownLayout_;
}

QRect InlineTextView::caretArea() const {
  const int position = cursor_.position() + (preedit_.isEmpty() ? 0 : preeditCursor_);
  const QRectF caret = shownLayout().cursorRect(position).translated(mark_.start);
  return imageToWidget().mapRect(caret).toAlignedRect().adjusted(-2, -2, 2, 2);
}

void InlineTextView::paintText(QPainter &painter, const QRect &area) const {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QTransform toWidget = imageToWidget();
  painter.setTransform(toWidget, true);
  const TextAttributes attributes = textAttributes(mark_);
  if (document_.isEmpty() && preedit_.isEmpty()) {
    const TextLayout placeholder(crel::tr("Type here"), attributes.font);
    placeholder.draw(painter, mark_.start, palette().color(QPalette::PlaceholderText));
  } else {
    // A line further than a font size away draws nothing into the area.
    const QRectF reached =
        area.isEmpty() ? QRectF()
                       : toWidget.inverted().mapRect(QRectF(area)).adjusted(0, -mark_.fontSize, 0, mark_.fontSize);
    shownLayout().draw(painter, mark_.start, attributes.color, reached);
  }
  painter.restore();
}

void InlineTextView::paintEvent(QPaintEvent *event) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const TextLayout &laidOut = shownLayout();
  const QTransform toWidget = imageToWidget();

  // Runs of [from, to) in the shown text, one rectangle per line, in image pixels.
  const auto runs = [&](int from, int to) {
    QList<QRectF> rects;
    for (int i = from; i < to; ++i) {
      const QRectF a = laidOut.cursorRect(i), b = laidOut.cursorRect(i + 1);
      if (a.y() != b.y())
        continue;
      const QRectF piece(QPointF(std::min(a.x(), b.x()), a.y()), QPointF(std::max(a.x(), b.x()), a.bottom()));
      if (!rects.isEmpty() && rects.last().y() == piece.y())
        rects.last() = rects.last().united(piece);
      else
        rects.append(piece);
    }
    return rects;
  };

  if (cursor_.hasSelection() && preedit_.isEmpty()) {
    painter.save();
    painter.setTransform(toWidget, true);
    for (const QRectF &r : runs(cursor_.selectionStart(), cursor_.selectionEnd()))
      painter.fillRect(r.translated(mark_.start), withAlpha(AppTheme::primary(), 0.22));
    painter.restore();
  }

  paintText(painter, event->rect());
  const QColor ink = textAttributes(mark_).color;

  if (!preedit_.isEmpty()) {
    QPen underline(ink, 1);
    underline.setCosmetic(true);
    painter.setPen(underline);
    const int from = cursor_.position();
    for (const QRectF &r : runs(from, from + int(preedit_.size()))) {
      const QRectF moved = r.translated(mark_.start);
      painter.drawLine(toWidget.map(moved.bottomLeft()), toWidget.map(moved.bottomRight()));
    }
  }

  if (hasFocus() && caretShown_) {
    const int position = cursor_.position() + (preedit_.isEmpty() ? 0 : preeditCursor_);
    const QRectF caret = laidOut.cursorRect(position).translated(mark_.start);
    QPen pen(ink, 1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.drawLine(toWidget.map(caret.topLeft()), toWidget.map(caret.bottomLeft()));
  }

  // The border in view points, rotated with the box.
  const QPolygonF frame = frameInCanvas().translated(-x(), -y());
  const QRectF box(QPointF(0, 0), QSizeF(QLineF(frame[0], frame[1]).length(), QLineF(frame[0], frame[3]).length()));
  QTransform boxToWidget;
  boxToWidget.translate(frame[0].x(), frame[0].y());
  boxToWidget.rotateRadians(std::atan2(frame[1].y() - frame[0].y(), frame[1].x() - frame[0].x()));
  painter.setTransform(boxToWidget);
  painter.setPen(QPen(withAlpha(AppTheme::primary(), 0.7), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(box, 3, 3);
}

// ---- keys

bool InlineTextView::event(QEvent *event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto *key = static_cast<QKeyEvent *>(event);
    const bool plainKey = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    const bool editing = std::any_of(editingKeys.begin(), editingKeys.end(),
                                     [&](QKeySequence::StandardKey k) { return key->matches(k); });
    if (plainKey || editing) {
      event->accept();
      return true;
    }
  }
  return QWidget::event(event);
}

void InlineTextView::keyPressEvent(QKeyEvent *event) {
  // Every key stays here, so nothing typed reaches the canvas's shortcuts.
  event->accept();
  const int key = event->key();
  if (key == Qt::Key_Escape) {
    if (!hasMarkedText() && onFinish)
      onFinish(true);
    return;
  }
  if (key != Qt::Key_Return && key != Qt::Key_Enter) {
    if (!hasMarkedText() && handleEditingKey(event))
      restartBlink();
    return;
  }
  if (hasMarkedText())
    return; // the input method is composing and owns Return
  if (event->modifiers() & Qt::ShiftModifier) {
    insert(QStringLiteral("\n"));
    return;
  }
  if (onFinish)
    onFinish(false);
}

bool InlineTextView::handleEditingKey(QKeyEvent *event) {
  using K = QKeySequence;
  constexpr auto move = QTextCursor::MoveAnchor;
  constexpr auto keep = QTextCursor::KeepAnchor;
  const auto collapseOr = [&](bool toEnd, QTextCursor::MoveOperation op) {
    if (cursor_.hasSelection())
      cursor_.setPosition(toEnd ? cursor_.selectionEnd() : cursor_.selectionStart());
    else
      cursor_.movePosition(op);
  };
  if (event->matches(K::Undo)) {
    document_.undo(&cursor_);
  } else if (event->matches(K::Redo)) {
    document_.redo(&cursor_);
  } else if (event->matches(K::SelectAll)) {
    cursor_.select(QTextCursor::Document);
  } else if (event->matches(K::Copy) || event->matches(K::Cut)) {
    if (cursor_.hasSelection() && Pasteboard::general().replaceWithText(plain(cursor_.selectedText())) &&
        event->matches(K::Cut))
      cursor_.removeSelectedText();
  } else if (event->matches(K::Paste)) {
    paste();
  } else if (event->matches(K::MoveToNextChar)) {
    collapseOr(true, QTextCursor::NextCharacter);
  } else if (event->matches(K::MoveToPreviousChar)) {
    collapseOr(false, QTextCursor::PreviousCharacter);
  } else if (event->matches(K::SelectNextChar)) {
    cursor_.movePosition(QTextCursor::NextCharacter, keep);
  } else if (event->matches(K::SelectPreviousChar)) {
    cursor_.movePosition(QTextCursor::PreviousCharacter, keep);
  } else if (event->matches(K::MoveToNextWord)) {
    cursor_.movePosition(QTextCursor::NextWord, move);
  } else if (event->matches(K::MoveToPreviousWord)) {
    cursor_.movePosition(QTextCursor::PreviousWord, move);
  } else if (event->matches(K::SelectNextWord)) {
    cursor_.movePosition(QTextCursor::NextWord, keep);
  } else if (event->matches(K::SelectPreviousWord)) {
    cursor_.movePosition(QTextCursor::PreviousWord, keep);
  } else if (event->matches(K::MoveToStartOfDocument)) {
    cursor_.movePosition(QTextCursor::Start, move);
  } else if (event->matches(K::MoveToEndOfDocument)) {
    cursor_.movePosition(QTextCursor::End, move);
  } else if (event->matches(K::SelectStartOfDocument)) {
    cursor_.movePosition(QTextCursor::Start, keep);
  } else if (event->matches(K::SelectEndOfDocument)) {
    cursor_.movePosition(QTextCursor::End, keep);
  } else if (event->matches(K::MoveToStartOfLine) || event->matches(K::SelectStartOfLine)) {
    moveToLineEdge(false, event->matches(K::SelectStartOfLine) ? keep : move);
  } else if (event->matches(K::MoveToEndOfLine) || event->matches(K::SelectEndOfLine)) {
    moveToLineEdge(true, event->matches(K::SelectEndOfLine) ? keep : move);
  } else if (event->matches(K::MoveToNextLine) || event->matches(K::SelectNextLine)) {
    moveVertically(1, event->matches(K::SelectNextLine) ? keep : move);
  } else if (event->matches(K::MoveToPreviousLine) || event->matches(K::SelectPreviousLine)) {
    moveVertically(-1, event->matches(K::SelectPreviousLine) ? keep : move);
  } else if (event->matches(K::DeleteStartOfWord)) {
    if (!cursor_.hasSelection())
      cursor_.movePosition(QTextCursor::PreviousWord, keep);
    cursor_.removeSelectedText();
  } else if (event->matches(K::DeleteEndOfWord)) {
    if (!cursor_.hasSelection())
      cursor_.movePosition(QTextCursor::NextWord, keep);
    cursor_.removeSelectedText();
  } else if (event->key() == Qt::Key_Tab && !(event->modifiers() & ~Qt::KeypadModifier)) {
    insert(QStringLiteral("\t"));
  } else if (event->key() == Qt::Key_Backspace) {
    cursor_.deletePreviousChar();
  } else if (event->matches(K::Delete)) {
    cursor_.deleteChar();
  } else {
    const QString typed = event->text();
    const bool command = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
    if (command || typed.isEmpty() || !typed.front().isPrint())
      return false;
    insert(typed);
    return true;
  }
  update();
  return true;
}

void InlineTextView::moveVertically(int lines, QTextCursor::MoveMode mode) {
  const TextLayout &laidOut = shownLayout();
  const QRectF caret = laidOut.cursorRect(cursor_.position());
  const double y = caret.center().y() + lines * caret.height();
  int target;
  if (y < 0)
    target = 0;
  else if (y >= laidOut.size().height())
    target = int(document_.characterCount()) - 1;
  else
    target = laidOut.positionAt({caret.x(), y});
  cursor_.setPosition(target, mode);
}

void InlineTextView::moveToLineEdge(bool end, QTextCursor::MoveMode mode) {
  const TextLayout &laidOut = shownLayout();
  const QRectF caret = laidOut.cursorRect(cursor_.position());
  // Far outside the line, yet well inside the layout's fixed-point range.
  const double outside = std::abs(mark_.textBoxWidth) + 1e5;
  cursor_.setPosition(laidOut.positionAt({end ? outside : -outside, caret.center().y()}), mode);
}

void InlineTextView::insert(const QString &text) {
  if (text.isEmpty())
    return;
  cursor_.insertText(text);
  restartBlink();
  update();
}

void InlineTextView::paste() {
  const QString pasted = QString::fromUtf8(Pasteboard::general().read(QStringLiteral("text/plain")));
  const qsizetype kept = document_.characterCount() - 1 - (cursor_.selectionEnd() - cursor_.selectionStart());
  insert(pasted.left(graphemeCut(pasted, std::max<qsizetype>(maxLengthAfterPaste - kept, 0))));
}

void InlineTextView::restartBlink() {
  caretShown_ = true;
  if (hasFocus()) {
    blink_.start();
    // The input method's candidate window follows the caret.
    QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle | Qt::ImCursorPosition | Qt::ImSurroundingText |
                                           Qt::ImAnchorPosition);
  }
  update();
}

// ---- input methods

void InlineTextView::inputMethodEvent(QInputMethodEvent *event) {
  if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
    if (event->replacementLength() > 0) {
      const int start = std::max(cursor_.position() + event->replacementStart(), 0);
      cursor_.setPosition(start);
      cursor_.setPosition(std::min(start + event->replacementLength(), int(document_.characterCount()) - 1),
                          QTextCursor::KeepAnchor);
    }
    cursor_.insertText(event->commitString());
  }
  if (event->preeditString() != preedit_)
    shownLayout_.reset();
  preedit_ = event->preeditString();
  preeditCursor_ = int(preedit_.size());
  for (const QInputMethodEvent::Attribute &a : event->attributes()) {
    if (a.type == QInputMethodEvent::Cursor)
      preeditCursor_ = std::clamp(a.start, 0, int(preedit_.size()));
  }
  event->accept();
  restartBlink();
}

QVariant InlineTextView::inputMethodQuery(Qt::InputMethodQuery query) const {
  const QTextBlock block = cursor_.block();
  switch (query) {
  case Qt::ImEnabled: return true;
  case Qt::ImHints: return int(Qt::ImhMultiLine);
  case Qt::ImFont: return textAttributes(mark_).font;
  case Qt::ImCursorRectangle: {
    const QRectF caret = shownLayout().cursorRect(cursor_.position()).translated(mark_.start);
    return imageToWidget().mapRect(caret);
  }
  case Qt::ImCursorPosition: return cursor_.position() - block.position();
  case Qt::ImAnchorPosition: return cursor_.anchor() - block.position();
  case Qt::ImSurroundingText: return block.text();
  case Qt::ImCurrentSelection: return plain(cursor_.selectedText());
  default: return QWidget::inputMethodQuery(query);
  }
}

// ---- pointer

int InlineTextView::positionAt(QPointF widgetPoint) const {
  const QPointF p = imageToWidget().inverted().map(widgetPoint) - mark_.start;
  return shownLayout().positionAt(p);
}

void InlineTextView::mousePressEvent(QMouseEvent *event) {
  event->accept();
  if (event->button() != Qt::LeftButton || hasMarkedText())
    return;
  const bool extend = event->modifiers() & Qt::ShiftModifier;
  cursor_.setPosition(positionAt(event->position()), extend ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
  restartBlink();
}

void InlineTextView::mouseMoveEvent(QMouseEvent *event) {
  event->accept();
  if (!(event->buttons() & Qt::LeftButton) || hasMarkedText())
    return;
  cursor_.setPosition(positionAt(event->position()), QTextCursor::KeepAnchor);
  update();
}

void InlineTextView::mouseDoubleClickEvent(QMouseEvent *event) {
  event->accept();
  if (event->button() != Qt::LeftButton || hasMarkedText())
    return;
  cursor_.setPosition(positionAt(event->position()));
  cursor_.select(QTextCursor::WordUnderCursor);
  update();
}

bool InlineTextView::focusNextPrevChild(bool) {
  // Tab is typed, not a way out of the text.
  return false;
}

void InlineTextView::focusInEvent(QFocusEvent *event) {
  QWidget::focusInEvent(event);
  restartBlink();
}

void InlineTextView::focusOutEvent(QFocusEvent *event) {
  QWidget::focusOutEvent(event);
  blink_.stop();
  update();
}

} // namespace crel
