#include "CanvasInputFixture.h"

#include "canvas/InlineTextEditor.h"
#include "canvas/InlineTextView.h"

#include "document/MarkGeometry.h"
#include "document/TextLayout.h"
#include "platform/clipboard/Pasteboard.h"

#include <QInputMethodEvent>
#include <QPainter>
#include <QStyleHints>
#include <QTest>

#include <functional>
#include <map>

using namespace crel;
using namespace crel::test;

namespace {

QImage paper() { return filledImage({200, 150}, QColor(236, 240, 244)); }

Mark textMark(QPointF start, const QString &text, std::optional<double> rotation = std::nullopt) {
  Mark m = sampleMark(MarkTool::text, start, start);
  m.text = text;
  m.textBoxWidth = 140;
  m.rotation = rotation;
  return m;
}

class InlineTextEditorTest : public CanvasOver<> {
protected:
  InlineTextEditorTest() : CanvasOver(paper()) {}

  InlineTextEditor &editor() { return canvas->inlineTextEditor(); }
  InlineTextView *view() { return editor().view(); }

  void key(int code, Qt::KeyboardModifiers modifiers = {}, const QString &text = {}) {
    ASSERT_NE(view(), nullptr);
    QKeyEvent press(QEvent::KeyPress, code, modifiers, text);
    QApplication::sendEvent(view(), &press);
  }
  void type(const QString &text) {
    for (const QChar c : text)
      key(c == ' ' ? Qt::Key_Space : int(c.toUpper().unicode()), {}, QString(c));
  }
  void preedit(const QString &composing, const QString &commit = {}) {
    QInputMethodEvent event(composing, {});
    event.setCommitString(commit);
    QApplication::sendEvent(view(), &event);
  }
  const Mark *mark(const QUuid &id) {
    for (const Mark &m : document.marks())
      if (m.id == id)
        return &m;
    return nullptr;
  }
  QUuid openNew(QPointF at = {20, 20}) {
    document.setFontSize(24);
    editor().begin(at);
    return *canvas->editingTextID();
  }
};

} // namespace

TEST_F(InlineTextEditorTest, ShiftReturnAddsALineAndKeypadEnterFinishes) {
  const QUuid id = openNew();
  type("a");
  const int oneLine = view()->height();
  key(Qt::Key_Return, Qt::ShiftModifier);
  type("b");
  EXPECT_EQ(mark(id)->text, "a\nb");
  EXPECT_GT(view()->height(), oneLine);
  EXPECT_TRUE(editor().isOpen());
  key(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_FALSE(editor().isOpen());
  EXPECT_EQ(mark(id)->text, "a\nb");
}

TEST_F(InlineTextEditorTest, OnlyWhiteSpaceRemovesTheMark) {
  const Mark existing = textMark({30, 30}, "word");
  document.commit({existing});
  editor().begin(existing.start, existing);
  for (int i = 0; i < 4; ++i)
    key(Qt::Key_Backspace);
  type("  ");
  key(Qt::Key_Return, Qt::ShiftModifier);
  type(" ");
  key(Qt::Key_Return);
  EXPECT_TRUE(document.marks().isEmpty());
  document.undo();
  EXPECT_EQ(document.marks(), QList<Mark>{existing});
}

TEST_F(InlineTextEditorTest, EscapeRestoresAnEditedMark) {
  const Mark existing = textMark({30, 30}, "old");
  document.commit({existing});
  const qsizetype steps = document.history().size();
  editor().begin(existing.start, existing);
  EXPECT_EQ(view()->cursorPosition(), 3); // caret at the end
  type("er");
  EXPECT_EQ(mark(existing.id)->text, "older");
  key(Qt::Key_Escape);
  EXPECT_EQ(document.marks(), QList<Mark>{existing});
  EXPECT_EQ(document.history().size(), steps);
}

TEST_F(InlineTextEditorTest, EscapeStillCancelsAfterAColourSettlesMidTyping) {
  const QUuid id = openNew();
  type("ab");
  // The custom-colour panel: its own bracket, its change, its late settle.
  document.beginEditing();
  document.setInk(Ink::palette()[3]);
  document.endEditing(false);
  EXPECT_TRUE(document.isEditing());
  type("c");
  EXPECT_EQ(mark(id)->text, "abc");
  EXPECT_TRUE(document.history().isEmpty()); // keystrokes are still one step
  key(Qt::Key_Escape);
  EXPECT_TRUE(document.marks().isEmpty());
  EXPECT_TRUE(document.history().isEmpty());
  EXPECT_FALSE(document.isEditing());
}

TEST_F(InlineTextEditorTest, ASettlingColourBracketEndsBeforeTypingStarts) {
  const Mark other = textMark({100, 100}, "other");
  document.commit({other});
  document.setSelection(other.id);
  const int panel = 0; // the colour panel, as it drags: its settle still pending
  document.editSettling(&panel, [&] { document.setInk(Ink::palette()[2]); });
  openNew();
  type("x");
  document.endEditing(false, &panel); // the late settle
  key(Qt::Key_Escape);
  ASSERT_EQ(document.marks().size(), 1);
  EXPECT_EQ(document.marks()[0].ink, Ink::palette()[2]); // the colour change stays
  document.undo();
  EXPECT_EQ(document.marks(), QList<Mark>{other});
}

TEST_F(InlineTextEditorTest, ComposingInputBlocksReturnAndEscape) {
  const QUuid id = openNew();
  type("a");
  preedit("ka");
  EXPECT_TRUE(view()->hasMarkedText());
  EXPECT_EQ(mark(id)->text, "a"); // uncommitted text is not in the mark
  key(Qt::Key_Return);
  key(Qt::Key_Escape);
  key(Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_TRUE(editor().isOpen());
  EXPECT_EQ(mark(id)->text, "a");
  preedit({}, QStringLiteral("\u304b"));
  EXPECT_FALSE(view()->hasMarkedText());
  EXPECT_EQ(mark(id)->text, QStringLiteral("a\u304b"));
  key(Qt::Key_Return);
  EXPECT_FALSE(editor().isOpen());
  EXPECT_EQ(mark(id)->text, QStringLiteral("a\u304b"));
}

TEST_F(InlineTextEditorTest, TheEmptyEditorIsAtLeastOnePointThreeFontSizesHigh) {
  canvas->resize(700, 500);
  openNew();
  const double s = canvas->scale();
  EXPECT_GT(s, 1.5);
  const QPolygonF frame = view()->frameInCanvas();
  EXPECT_NEAR(frame[3].y() - frame[0].y(), 1.3 * 24 * s, 1e-9);
  EXPECT_NEAR(frame[1].x() - frame[0].x(), 320 * s, 1e-9);
  EXPECT_NEAR(frame[0].x(), canvas->viewPoint({20, 20}).x(), 1e-9);
}

TEST_F(InlineTextEditorTest, ZoomAToolOrClosingTheCanvasFinishesTheEditKeepingTheText) {
  const std::pair<const char *, std::function<void()>> enders[] = {
      {"zoom", [&] { canvas->setZoom(2); }},
      {"tool", [&] { document.selectTool(MarkTool::arrow); }},
      {"close", [&] { canvas.reset(); }},
  };
  for (const auto &[name, end] : enders) {
    SCOPED_TRACE(name);
    document.commit({});
    const QUuid id = openNew();
    type(name);
    end();
    EXPECT_FALSE(document.isEditing());
    ASSERT_TRUE(mark(id));
    EXPECT_EQ(mark(id)->text, name);
  }
  EXPECT_EQ(document.zoom(), 2);
  document.selectTool(MarkTool::arrow); // the hook no longer reaches the canvas
}

TEST_F(InlineTextEditorTest, ThePlacementStaysFrozenWhileTypingAndIsReleasedAfter) {
  const geom::Rect before = canvas->imageRect();
  canvas->beginGesture({20, 20});
  const QUuid id = openNew();
  EXPECT_FALSE(canvas->anchor()); // no gesture continues
  canvas->endGesture();           // the release after the click
  // Text running far past the image grows the canvas, but not while typing.
  type("a long line that runs well past the right edge of the image");
  EXPECT_GT(bounds(*mark(id)).maxX(), 200);
  EXPECT_EQ(canvas->imageRect(), before);
  key(Qt::Key_Return);
  EXPECT_NE(canvas->imageRect(), before);
}

TEST_F(InlineTextEditorTest, UndoInsideTheEditorStepsBackThroughTheTyping) {
  const QUuid id = openNew();
  type("abc");
  key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(mark(id)->text, "");
  key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(mark(id)->text, "abc");
  key(Qt::Key_Left);
  key(Qt::Key_Backspace);
  EXPECT_EQ(mark(id)->text, "ac");
  key(Qt::Key_Home);
  type("<");
  key(Qt::Key_End);
  type(">");
  EXPECT_EQ(mark(id)->text, "<ac>");
}

TEST_F(InlineTextEditorTest, ClipboardKeysAndTabStayInTheText) {
  FakePasteboard board;
  Pasteboard::overrideGeneral(&board);
  const QUuid id = openNew();
  type("copy");
  key(Qt::Key_A, Qt::ControlModifier);
  key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(board.text, "copy");
  key(Qt::Key_End);
  key(Qt::Key_Tab);
  key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(mark(id)->text, "copy\tcopy");
  EXPECT_TRUE(editor().isOpen());
  Pasteboard::overrideGeneral(nullptr);
}

TEST_F(InlineTextEditorTest, APasteBringsInOnlyWhatFitsTheBoundCutBetweenCharacters) {
  FakePasteboard board;
  Pasteboard::overrideGeneral(&board);
  const qsizetype bound = InlineTextView::maxLengthAfterPaste;
  const QString x = QString(bound, QLatin1Char('x'));
  const QString smile = QStringLiteral("\U0001F600"); // a surrogate pair
  const struct {
    const char *name;
    QString typed;
    bool selectAll;
    QString pasted;
    QString expected;
  } rows[] = {
      {"short, whole", "ab", false, "c\nd", "abc\nd"},
      {"exactly fits", "", false, x, x},
      {"cut at the bound", "", false, x + "tail", x},
      {"after typing", "ab", false, x, "ab" + x.left(bound - 2)},
      {"a pair straddles the bound", "", false, x.left(bound - 1) + smile + "y", x.left(bound - 1)},
      {"a pair ends at the bound", "", false, x.left(bound - 2) + smile + "y", x.left(bound - 2) + smile},
      {"an accent would be split off", "", false, x.left(bound - 1) + "e\u0301", x.left(bound - 1)},
      {"replacing the selection", "abc", true, x + "tail", x},
      {"no room left", x.left(bound - 1), false, smile, x.left(bound - 1)},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    document.commit({});
    const QUuid id = openNew();
    view()->setText(row.typed); // as if typed, without a key per character
    if (row.selectAll)
      key(Qt::Key_A, Qt::ControlModifier);
    board.text = row.pasted;
    key(Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(editor().isOpen());
    key(Qt::Key_Return);
    ASSERT_TRUE(mark(id));
    EXPECT_EQ(mark(id)->text.size(), row.expected.size());
    EXPECT_TRUE(mark(id)->text == row.expected); // sizes above tell by how much it is not
  }
  Pasteboard::overrideGeneral(nullptr);
}

TEST_F(InlineTextEditorTest, TheEditorDrawsItsTextAsTheExportDoes) {
  ASSERT_EQ(canvas->scale(), 1);
  ASSERT_EQ(canvas->imageRect().origin(), QPointF(16, 12));
  for (const std::optional<double> rotation : {std::optional<double>(), std::optional<double>(0.3)}) {
    document.commit({});
    const Mark existing = textMark({24, 30}, "Crel 42", rotation);
    document.commit({existing});
    editor().begin(existing.start, existing);
    key(Qt::Key_Return, Qt::ShiftModifier);
    type("Wrapping text");
    const QImage exported = document.renderBitmap({0, 0, 200, 150});

    QImage shown = filledImage(canvas->size(), Qt::white);
    {
      QPainter painter(&shown);
      canvas->paintCanvas(painter); // leaves the edited mark out
      painter.translate(view()->pos());
      view()->paintText(painter);
    }
    const QImage shownImage = shown.copy(16, 12, 200, 150);
    EXPECT_GT(differing(exported, paper()), 300); // the text is there to compare
    // Both go through one layout and one transform: at most antialiasing noise.
    EXPECT_LE(largestDifference(exported, shownImage), 4) << "rotation " << rotation.value_or(0);
    EXPECT_LE(differing(exported, shownImage), 4) << "rotation " << rotation.value_or(0);
    key(Qt::Key_Escape);
  }
}

namespace {

// Counts the paint events its object receives.
class PaintCounter : public QObject {
public:
  int paints = 0;

protected:
  bool eventFilter(QObject *, QEvent *event) override {
    paints += event->type() == QEvent::Paint;
    return false;
  }
};

} // namespace

TEST_F(InlineTextEditorTest, AnIdleEditorLaysItsTextOutNeitherPerCaretBlinkNorPerPointerMove) {
  // A fast blink, so that the test sees many; each is one repaint of the editor.
  QGuiApplication::styleHints()->setCursorFlashTime(20);
  canvas->show();
  canvas->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(canvas.get()));
  const QString sentence = QStringLiteral("idle text costs nothing while the caret blinks. ");
  std::map<QString, long long> made; // per length and event, for the fewer and the more events
  for (const int repeats : {1, 400}) {
    const Mark existing = textMark({24, 30}, sentence.repeated(repeats));
    document.commit({existing});
    editor().begin(existing.start, existing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view()->hasFocus(); }, 10000));
    PaintCounter counter;
    view()->installEventFilter(&counter);
    const auto layoutsDuring = [&](int events, const std::function<void(int)> &event) {
      QCoreApplication::processEvents();
      const long long before = TextLayout::madeCount();
      for (int i = 0; i < events; ++i)
        event(i);
      return TextLayout::madeCount() - before;
    };
    const auto blinks = [&](int) {
      const int seen = counter.paints;
      EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > seen; }, 10000));
    };
    const auto pointerMoves = [&](int i) {
      mouseAt(QEvent::MouseMove, view()->geometry().center() + QPointF(i % 7, i % 5), {}, Qt::NoButton);
      QCoreApplication::processEvents();
    };
    for (const int events : {4, 8}) {
      const QString row = QStringLiteral("%1 characters, %2 ").arg(existing.text.size()).arg(events);
      made[row + "blinks"] = layoutsDuring(events, blinks);
      made[row + "pointer moves"] = layoutsDuring(events, pointerMoves);
    }
    editor().finish(true);
  }
  // The fewest there can be: nothing in the editor changed.
  for (const auto &[row, layouts] : made)
    EXPECT_EQ(layouts, 0) << qPrintable(row);
}
