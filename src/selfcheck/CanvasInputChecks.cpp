#include "CanvasInputChecks.h"

#include "CanvasEvents.h"
#include "CanvasWindow.h"
#include "Check.h"
#include "Fixtures.h"
#include "ToolLists.h"

#include "canvas/CanvasView.h"
#include "canvas/InlineTextEditor.h"
#include "canvas/InlineTextView.h"
#include "capture/CaptureSource.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/MarkGeometry.h"
#include "document/MarkPaths.h"
#include "editor/Sheets.h"
#include "platform/clipboard/Pasteboard.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineF>
#include <QWidget>

#include <cmath>

namespace crel::NativeTests {

namespace {

bool approx(double a, double b) { return std::abs(a - b) < 0.001; }

Mark referenceMark(MarkTool tool, QPointF end) {
  Mark mark = NativeTests::checkMark(tool, {100, 100}, end, 8);
  return mark;
}

// The first mark; a row that needs one and finds none fails with its own message.
const Mark &firstMark(const CrelDocument &document, const QString &message) {
  if (document.marks().isEmpty())
    fail(message);
  return document.marks().first();
}

const Mark &lastMark(const CrelDocument &document, const QString &message) {
  if (document.marks().isEmpty())
    fail(message);
  return document.marks().last();
}

double headLength(const Mark &arrow, const QString &message) {
  const QList<QPointF> barbs = arrowHeadPoints(arrow);
  if (barbs.isEmpty())
    fail(message);
  return QLineF(arrow.end, barbs.first()).length();
}

bool sameRGB(const Ink &a, const Ink &b) {
  return approx(a.red, b.red) && approx(a.green, b.green) && approx(a.blue, b.blue);
}

struct Fixture {
  CrelDocument &document;
  CanvasView &canvas;
  QWidget &window;
  CanvasEvents events{canvas};
};

void drawingChecks(Fixture &f) {
  CrelDocument &document = f.document;
  for (const MarkTool tool :
       {MarkTool::arrow, MarkTool::line, MarkTool::rectangle, MarkTool::ellipse, MarkTool::triangle, MarkTool::pen}) {
    document.commit({});
    document.selectTool(tool);
    f.events.drag({100, 100}, {200, 180}, {400, 300});
    expect(document.marks().size() == 1 && document.marks().first().tool == tool,
           label(tool) + QStringLiteral(" pointer gesture commits an annotation"));
    const Mark &mark = document.marks().first();
    expect(approx(mark.start.x(), 100) && approx(mark.end.y(), 300),
           label(tool) + QStringLiteral(" canvas maps scaled input to original image pixels"));
  }
}

void selectionAndKeyChecks(Fixture &f) {
  CrelDocument &document = f.document;
  document.selectTool(MarkTool::select);
  f.events.down({200, 180});
  f.events.dragged({220, 200});
  f.events.up({220, 200});
  QString message = QStringLiteral("Select and drag moves an existing mark");
  expect(approx(firstMark(document, message).start.x(), 120), message);

  const Ink &third = paletteInk(2);
  document.setInk(third);
  document.setStroke(8);
  message = QStringLiteral("Color and thickness update the selected mark");
  const Mark &recoloured = firstMark(document, message);
  expect(recoloured.ink == third && recoloured.width == 8, message);

  f.events.key(Qt::Key_Right);
  message = QStringLiteral("Arrow key nudges selected mark");
  expect(approx(firstMark(document, message).start.x(), 121), message);

  f.events.key(Qt::Key_Backspace, QString(QChar(0x08)));
  expect(document.marks().isEmpty(), QStringLiteral("Delete key removes selected annotation"));

  f.events.letter(u'a');
  expect(document.tool() == MarkTool::arrow, QStringLiteral("Keyboard tool shortcut reaches native canvas"));

  f.events.down({100, 100});
  f.events.dragged({400, 300});
  const geom::Rect frozen = f.canvas.imageRect();
  f.events.key(Qt::Key_Escape, QString(QChar(0x1b)));
  f.canvas.resize(700, 480);
  const geom::Rect recentred = f.canvas.imageRect();
  expect(!(recentred == frozen),
         QStringLiteral("Escape releases the gesture transform so the canvas can recenter after resizing"));
  f.canvas.resize(600, 480);
  f.events.up({400, 300});
  expect(document.marks().isEmpty(), QStringLiteral("Escape cancels in-progress annotation without a history entry"));
}

void handleChecks(Fixture &f, const Mark &arrow, const Mark &rectangle) {
  CrelDocument &document = f.document;
  document.commit({arrow});
  document.selectTool(MarkTool::select);
  f.events.click({250, 200});
  expect(document.marks().size() == 1 && document.selection() == arrow.id && document.tool() == MarkTool::select,
         QStringLiteral("The selection tool selects an existing arrow for editing"));

  f.events.down({400, 300});
  f.events.dragged({500, 150});
  f.events.up({500, 150});
  QString message = QStringLiteral("Arrow tip handle changes length and direction while preserving its tail");
  const Mark &reshaped = firstMark(document, message);
  expect(reshaped.start == arrow.start && approx(reshaped.end.x(), 500) && approx(reshaped.end.y(), 150), message);

  document.undo();
  expect(document.marks() == QList<Mark>{arrow}, QStringLiteral("Arrow reshape is one undoable edit"));

  document.redo();
  message = QStringLiteral("Arrow tail handle moves independently of its tip");
  const Mark b = firstMark(document, message);
  document.selectMark(b, false);
  f.events.down({100, 100});
  f.events.dragged({150, 200});
  f.events.up({150, 200});
  const Mark &tailMoved = firstMark(document, message);
  expect(approx(tailMoved.start.x(), 150) && tailMoved.end == b.end, message);

  document.setArrowHeadScale(1.7);
  message = QStringLiteral("Arrowhead size changes the selected arrow");
  expect(firstMark(document, message).arrowHeadScale == 1.7, message);

  expect(!hitTest(arrow, {110, 280}, 5),
         QStringLiteral("Empty space inside arrow bounds does not falsely select the arrow"));

  document.commit({rectangle});
  document.selectMark(rectangle, false);
  f.events.down({300, 250});
  f.events.dragged({420, 320});
  f.events.up({420, 320});
  message = QStringLiteral("Shape corner handle resizes width and height");
  const geom::Rect grown = bounds(firstMark(document, message));
  expect(approx(grown.width(), 320) && approx(grown.height(), 220), message);
}

void letterChecks(Fixture &f) {
  for (const auto [tool, letter] : toolLetters) {
    f.events.letter(QChar::fromLatin1(letter));
    expect(f.document.tool() == tool,
           QString(QChar::fromLatin1(letter).toUpper()) + QStringLiteral(" activates ") + label(tool));
  }
}

void geometryAndColorChecks(Fixture &f, const Mark &arrow) {
  const QString doubling = QStringLiteral("Doubling arrow length doubles both shaft weight and arrowhead");
  const Mark doubled = resized(arrow, MarkHandle::end, {700, 500});
  expect(approx(doubled.width / arrow.width, 2) &&
             approx(headLength(doubled, doubling) / headLength(arrow, doubling), 2),
         doubling);
  const Mark restored = resized(doubled, MarkHandle::end, {400, 300});
  expect(approx(restored.width, arrow.width),
         QStringLiteral("Proportional resizing is reversible without weight drift"));
  expect(resized(arrow, MarkHandle::end, arrow.start) == arrow,
         QStringLiteral("Collapsing an arrow cannot destroy its proportions"));

  CrelDocument &document = f.document;
  const Ink custom = Ink::custom(QColor::fromRgbF(0.37f, 0.19f, 0.81f, 1));
  document.commit({arrow});
  document.selectMark(arrow, false);
  document.setInk(custom);
  const QString message = QStringLiteral("Custom RGB colors update existing marks without palette quantization");
  expect(sameRGB(firstMark(document, message).ink, custom) && approx(custom.blue, 0.81), message);
  document.selectTool(MarkTool::arrow);
  expect(sameRGB(document.ink(), custom), QStringLiteral("Custom ink remains selected for new annotations"));
}

// ---- inline text

InlineTextView *textEditor(CanvasView &canvas) {
  return canvas.inlineTextEditor().isOpen() ? canvas.inlineTextEditor().view() : nullptr;
}

// Typing as an input method commits it: the path every typed character takes.
void type(CanvasView &canvas, const QString &text) {
  InlineTextView *view = textEditor(canvas);
  if (!view)
    return;
  QInputMethodEvent event;
  event.setCommitString(text);
  QCoreApplication::sendEvent(view, &event);
}

// Typing on a keyboard without an input method: one key press and release
// per character, the character as the event's text.
void typeKeys(CanvasView &canvas, const QString &text) {
  InlineTextView *view = textEditor(canvas);
  if (!view)
    return;
  for (const QChar c : text) {
    const int key = c.isLetter() ? int(Qt::Key_A) + (c.toUpper().unicode() - u'A') : int(c.unicode());
    const Qt::KeyboardModifiers modifiers = c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier;
    QKeyEvent press(QEvent::KeyPress, key, modifiers, QString(c));
    QCoreApplication::sendEvent(view, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, QString(c));
    QCoreApplication::sendEvent(view, &release);
  }
}

void inlineTextChecks(Fixture &f, const QDir &root) {
  CrelDocument &document = f.document;
  CanvasView &canvas = f.canvas;
  document.commit({});
  document.selectTool(MarkTool::text);
  document.enableAutosave(root.filePath(QStringLiteral("inline-text")),
                          CaptureSource{}.filenameStem(QDateTime::currentDateTime()));
  document.flushAutosave();
  if (!document.savedURL())
    fail(QStringLiteral("The autosaved document names no saved file"));
  const QString savedPath = *document.savedURL();
  const QByteArray baseline = readFile(savedPath);

  f.events.down({100, 100});
  const InlineTextView *editor = textEditor(canvas);
  if (!editor)
    fail(QStringLiteral("Inline text editor missing"));
  expect(editor->parentWidget() == &canvas && !Sheets::attached(&f.window),
         QStringLiteral("Text tool places an editable text view directly on the image without a dialog"));

  typeKeys(canvas, QStringLiteral("Ar"));
  type(canvas, QStringLiteral("row"));
  QString message = QStringLiteral("Typing updates the actual annotation model immediately");
  expect(lastMark(document, message).text == QStringLiteral("Arrow"), message);

  type(canvas, QStringLiteral(" label\nSecond line"));
  message = QStringLiteral("Multiline text uses shared wrapping bounds");
  const Mark &multiline = lastMark(document, message);
  expect(bounds(multiline).height() > 2 * multiline.fontSize, message);

  document.flushAutosave();
  expect(readFile(savedPath) != baseline, QStringLiteral("In-progress inline text is saved to the real PNG"));

  const Ink &second = paletteInk(1);
  document.setInk(second);
  document.setFontSize(36);
  canvas.finishText(false);
  message = QStringLiteral("Inline text retains color and font size after finishing");
  const Mark t = firstMark(document, message);
  expect(t.fontSize == 36 && t.ink == second && !textEditor(canvas), message);

  document.undo();
  expect(document.marks().isEmpty(), QStringLiteral("Undo removes an entire inline text session in one step"));
  document.redo();
  expect(document.marks() == QList<Mark>{t}, QStringLiteral("Redo restores multiline text and its formatting"));

  // Escape and the empty click must act on an editor that really opened.
  document.selectTool(MarkTool::text);
  f.events.down({600, 400});
  if (!textEditor(canvas))
    fail(QStringLiteral("Inline text editor missing"));
  type(canvas, QStringLiteral("Cancel me"));
  if (InlineTextView *view = textEditor(canvas))
    f.events.key(Qt::Key_Escape, QString(QChar(0x1b)), {}, view);
  expect(document.marks() == QList<Mark>{t} && !textEditor(canvas),
         QStringLiteral("Escape discards only the current text edit"));

  f.events.down({600, 400});
  if (!textEditor(canvas))
    fail(QStringLiteral("Inline text editor missing"));
  canvas.finishText(false);
  expect(document.marks() == QList<Mark>{t}, QStringLiteral("Empty text clicks do not leave phantom annotations"));

  document.selectTool(MarkTool::text);
  f.events.down({500, 350});
  type(canvas, QStringLiteral("Copy this"));
  FakePasteboard pasteboard;
  document.copy(pasteboard);
  const QByteArray rendered = document.renderPNG();
  message = QStringLiteral("Image copy commits active text before rendering the clipboard image");
  expect(!textEditor(canvas) && lastMark(document, message).text == QStringLiteral("Copy this") &&
             pasteboard.read(QStringLiteral("image/png")) == rendered,
         message);
}

} // namespace

void canvasInputChecks(const QImage &image, const QDir &root) {
  CrelDocument document(image, AnnotationPreferences::shared());
  CanvasWindow host(document, 600, 480);
  Fixture fixture{document, host.canvas(), host.window()};

  const Mark arrow = referenceMark(MarkTool::arrow, {400, 300});
  const Mark rectangle = referenceMark(MarkTool::rectangle, {300, 250});
  drawingChecks(fixture);
  selectionAndKeyChecks(fixture);
  handleChecks(fixture, arrow, rectangle);
  letterChecks(fixture);
  geometryAndColorChecks(fixture, arrow);
  inlineTextChecks(fixture, root);
  host.window().close();
}

} // namespace crel::NativeTests
