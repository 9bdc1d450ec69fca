#include "EditingTests.h"

#include "CanvasEvents.h"
#include "CanvasWindow.h"
#include "Check.h"
#include "Fixtures.h"
#include "PixelProbe.h"
#include "TextRecognitionFixture.h"

#include "canvas/CanvasView.h"
#include "capture/CaptureSource.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditState.h"
#include "platform/clipboard/Pasteboard.h"
#include "platform/files/JsonWriter.h"

#include <QBuffer>
#include <QDateTime>
#include <QJsonDocument>
#include <QSet>

#include <cmath>

namespace crel::EditingTests {

using NativeTests::expect;
using NativeTests::fail;

namespace {

const RecognizedWord *wordNamed(const QList<RecognizedWord> &words, const QString &text) {
  for (const RecognizedWord &word : words) {
    if (word.text == text)
      return &word;
  }
  return nullptr;
}

QString quotedTexts(const QList<RecognizedWord> &words) {
  QStringList texts;
  for (const RecognizedWord &word : words)
    texts.append(u'"' + word.text + u'"');
  return u'[' + texts.join(QStringLiteral(", ")) + u']';
}

QSet<QString> textsOf(const QList<RecognizedWord> &words) {
  QSet<QString> texts;
  for (const RecognizedWord &word : words)
    texts.insert(word.text);
  return texts;
}

// Every pixel of `rect`, rows from its truncated top to (not including) its
// truncated bottom, columns likewise.
template <class Visit> void forEachPixel(const geom::Rect &rect, Visit visit) {
  for (int y = int(std::trunc(rect.minY())); y < int(std::trunc(rect.maxY())); ++y)
    for (int x = int(std::trunc(rect.minX())); x < int(std::trunc(rect.maxX())); ++x)
      visit(x, y);
}

QImage sourceBitmap(const QImage &page) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  page.save(&buffer, "PNG");
  return NativeTests::decodePNG(png, QStringLiteral("The text page"));
}

Mark highlightOver(const geom::Rect &r, HighlightMode mode, bool dark) {
  Mark mark;
  mark.id = QUuid::createUuid();
  mark.tool = MarkTool::highlight;
  const bool marker = mode == HighlightMode::marker;
  mark.start = marker ? QPointF(r.minX(), r.midY()) : QPointF(r.minX(), r.minY());
  mark.end = marker ? QPointF(r.maxX(), r.midY()) : QPointF(r.maxX(), r.maxY());
  if (marker)
    mark.points = {mark.start, mark.end};
  mark.ink = Ink{QStringLiteral("Lemon"), 1.0, 0.88, 0.05};
  mark.width = r.height() + 4;
  mark.arrowHeadScale = 1;
  mark.fontSize = 40;
  mark.textBoxWidth = 320;
  mark.highlightMode = mode;
  if (mode == HighlightMode::text)
    mark.regions = QList<geom::Rect>{r};
  mark.opacity = 0.35;
  mark.highlightDarkRegions = QList<bool>{dark};
  return mark;
}

QList<Mark> throughJson(const QList<Mark> &marks) {
  JsonWriter writer;
  Mark::encodeList(writer, marks);
  QJsonParseError error;
  const QJsonDocument json = QJsonDocument::fromJson(writer.take(), &error);
  if (error.error != QJsonParseError::NoError || !json.isArray())
    fail(QStringLiteral("The encoded marks could not be read back: ") + error.errorString());
  return Mark::decodeList(json.array());
}

// A fresh copy of the selected words: what an earlier copy left on the
// board can't stand in for a copy that wrote nothing.
QString copySelection(CrelDocument &document, const QList<RecognizedWord> &selection, FakePasteboard &pasteboard) {
  pasteboard.clear();
  document.setSelectedWords(selection);
  document.copyRecognizedText(pasteboard);
  return pasteboard.text.value_or(QString());
}

// The words that are still legible were copied; "Review" was not.
bool coveredWordLeftOut(const QString &copied) {
  return copied.contains(QStringLiteral("Highlight words across lines")) && !copied.contains(QStringLiteral("Review"));
}

void writeArtefact(const QDir &folder, const QString &name, const QByteArray &png) {
  NativeTests::writeFile(folder.filePath(name), png);
}

} // namespace

void ocrChecks(const QDir &root, AnnotationPreferences &preferences) {
  const QImage page = TextRecognitionFixture::page();
  CrelDocument document(page, preferences);
  document.selectTool(MarkTool::highlight);
  NativeTests::pumpUntil([&] { return !document.recognizing(); }, 20000, 20);
  const QList<RecognizedWord> words = document.recognizedText().words;
  const RecognizedWord *reviewFound = wordNamed(words, QStringLiteral("Review"));
  const RecognizedWord *linesFound = wordNamed(words, QStringLiteral("lines"));
  if (!reviewFound || !linesFound)
    fail(QStringLiteral("Real Tesseract OCR failed on the controlled text fixture: ") + document.recognitionStatus() +
         QStringLiteral(", ") + quotedTexts(words));
  const RecognizedWord review = *reviewFound;
  const RecognizedWord linesWord = *linesFound;
  expect(!document.recognizing() && words.size() == 17 && wordNamed(words, QStringLiteral("backgrounds")),
         QStringLiteral("Real on-device Tesseract recognizes both light and dark screenshot text"));

  const RecognizedText &text = document.recognizedText();
  const QList<RecognizedWord> selection = text.selection(review.rect.center(), linesWord.rect.center());
  const QList<geom::Rect> rects = RecognizedText::rectangles(selection);
  expect(rects.size() == 2 && selection.contains(review) && selection.contains(linesWord),
         QStringLiteral("Text selection follows words across two lines without painting the intervening whitespace"));
  expect(textsOf(text.selection(linesWord.rect.center(), review.rect.center())) == textsOf(selection),
         QStringLiteral("Backwards multiline selection covers the same words"));
  expect(text.selection({1090, 10}, linesWord.rect.center()).isEmpty(),
         QStringLiteral("Smart highlight does not fabricate a selection in blank space"));

  NativeTests::CanvasWindow host(document, 900, 650);
  CanvasView *canvas = &host.canvas();
  NativeTests::CanvasEvents events(*canvas);
  events.drag(review.rect.center(), linesWord.rect.center());
  expect(
      document.marks().size() == 1 && document.marks().first().regions == rects,
      QStringLiteral("The actual canvas creates one editable smart highlight containing the recognized line geometry"));

  const QByteArray highlightPNG = document.renderPNG();
  const RecognizedWord *readable = wordNamed(words, QStringLiteral("Readable"));
  QList<RecognizedWord> darkWords;
  for (const RecognizedWord &word : words) {
    if (readable && word.line == readable->line)
      darkWords.append(word);
  }
  const QList<geom::Rect> darkRects = RecognizedText::rectangles(darkWords);
  if (darkRects.isEmpty())
    fail(QStringLiteral("No word of the dark band was recognised"));
  bool darkSeen = true;
  for (const geom::Rect &r : darkRects)
    darkSeen = darkSeen && document.darkBackground(r);
  expect(!document.darkBackground(rects.first()) && darkSeen,
         QStringLiteral("Highlight blending distinguishes light and dark source backgrounds"));

  const QImage source = sourceBitmap(page);
  const QImage highlighted = NativeTests::decodePNG(highlightPNG, QStringLiteral("The smart highlight export"));
  bool blackKept = false;
  forEachPixel(review.rect, [&](int x, int y) {
    blackKept = blackKept || (NativeTests::colorAt(source, x, y).redF() < 0.02 &&
                              NativeTests::colorAt(highlighted, x, y).redF() < 0.02);
  });
  expect(blackKept,
         QStringLiteral("Highlighting preserves black text instead of washing it out with translucent paint"));

  events.drag(review.rect.center(), review.rect.center() + QPointF(24, 0), Qt::ControlModifier);
  expect(document.marks().size() == 1 && document.marks().first().regions &&
             !document.marks().first().regions->isEmpty() &&
             std::abs(document.marks().first().regions->first().minX() - (rects.first().minX() + 24)) < 0.001 &&
             document.tool() == MarkTool::highlight,
         QStringLiteral("Ctrl-drag moves an existing smart highlight and returns to highlighting"));
  document.undo();

  struct Case {
    geom::Rect r;
    bool dark;
    const char *colour;
  };
  for (const Case &c : {Case{rects.first(), false, "black"}, Case{darkRects.first(), true, "white"}}) {
    for (const HighlightMode mode : {HighlightMode::text, HighlightMode::marker, HighlightMode::area}) {
      CrelDocument rendering(page, preferences);
      rendering.commit({highlightOver(c.r, mode, c.dark)});
      const QImage exported = NativeTests::decodePNG(rendering.renderPNG(), QStringLiteral("A highlight export"));
      int textPixels = 0;
      bool crisp = true;
      forEachPixel(c.r, [&](int x, int y) {
        const double red = NativeTests::colorAt(source, x, y).redF();
        if (c.dark ? red <= 0.99 : red >= 0.01)
          return;
        ++textPixels;
        const QColor out = NativeTests::colorAt(exported, x, y);
        const bool kept = c.dark ? out.redF() > 0.99 && out.greenF() > 0.99 && out.blueF() > 0.99
                                 : out.redF() < 0.01 && out.greenF() < 0.01 && out.blueF() < 0.01;
        crisp = crisp && out.alphaF() == 1.0 && kept;
      });
      expect(textPixels > 0 && crisp, rawValue(mode) + QStringLiteral(" highlights preserve ") +
                                          QLatin1String(c.colour) + QStringLiteral(" text and opaque export pixels"));
    }
  }

  document.undo();
  expect(document.marks().isEmpty(), QStringLiteral("An entire multiline highlight undoes as one operation"));
  document.redo();
  expect(!document.marks().isEmpty() && document.marks().first().regions == rects,
         QStringLiteral("Redo retains smart text geometry"));

  FakePasteboard pasteboard;
  document.selectTool(MarkTool::extract);
  document.setSelectedWords(selection);
  document.copyRecognizedText(pasteboard);
  expect(pasteboard.text == QStringLiteral("Review the release notes\nHighlight words across lines"),
         QStringLiteral("Copy text uses actual OCR with line breaks and a separate pasteboard"));

  document.selectTool(MarkTool::redact);
  document.setRedactMode(HighlightMode::text);
  events.click(review.rect.center());
  expect(!document.marks().isEmpty() && document.marks().last().tool == MarkTool::redact &&
             document.marks().last().regions && document.marks().last().regions->size() == 1,
         QStringLiteral("Smart redaction covers a recognized word with one click"));
  expect(coveredWordLeftOut(copySelection(document, selection, pasteboard)),
         QStringLiteral("Covered text is excluded from OCR copying after redaction"));

  expect(throughJson(document.marks()) == document.marks(),
         QStringLiteral("Smart annotation geometry survives JSON recovery"));

  document.enableAutosave(root.path(), CaptureSource{}.filenameStem(QDateTime::currentDateTime()));
  const UpdateSnapshot snapshot = NativeTests::throughJson(document.snapshotForUpdate());
  const std::unique_ptr<CrelDocument> restored = CrelDocument::restoreAfterUpdate(snapshot, preferences);
  const QByteArray redactionPNG = document.renderPNG();
  const QByteArray restoredPNG = restored->renderPNG();
  const QDir artefacts(QDir::current().filePath(QStringLiteral(".attachments/native/editor-030")));
  if (!QDir().mkpath(artefacts.path()))
    fail(QStringLiteral("The folder could not be created: ") + artefacts.path());
  writeArtefact(artefacts, QStringLiteral("smart-highlight.png"), highlightPNG);
  writeArtefact(artefacts, QStringLiteral("smart-redaction.png"), redactionPNG);
  writeArtefact(artefacts, QStringLiteral("smart-redaction-restored.png"), restoredPNG);
  expect(restored->marks() == document.marks() && restored->history() == document.history() &&
             restored->redactMode() == HighlightMode::text,
         QStringLiteral("Update recovery preserves smart geometry, undo history and selected mode"));
  expect(redactionPNG == restoredPNG,
         QStringLiteral("Update recovery preserves the rendered highlight and redaction pixels"));

  document.undo();
  document.selectTool(MarkTool::blur);
  document.setBlurMode(HighlightMode::text);
  events.click(review.rect.center());
  expect(!document.marks().isEmpty() && document.marks().last().tool == MarkTool::blur &&
             document.marks().last().regions && document.marks().last().regions->size() == 1,
         QStringLiteral("Smart blur selects a recognized word through the real canvas gesture"));
  expect(coveredWordLeftOut(copySelection(document, selection, pasteboard)),
         QStringLiteral("Blurred words are excluded from text copying"));
}

} // namespace crel::EditingTests
