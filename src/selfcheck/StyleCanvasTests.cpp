#include "StyleCanvasTests.h"

#include "Check.h"
#include "Fixtures.h"
#include "IsolatedSettings.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "platform/JsonWriter.h"

#include <QJsonDocument>

namespace crel::StyleCanvasTests {

using NativeTests::expect;

namespace {

Mark arrowMark(QPointF start, QPointF end, AnnotationStyle style) {
  Mark mark;
  mark.id = QUuid::createUuid();
  mark.tool = MarkTool::arrow;
  mark.start = start;
  mark.end = end;
  mark.ink = NativeTests::paletteInk(0);
  mark.width = 24;
  mark.arrowHeadScale = 1.0;
  mark.fontSize = 40;
  mark.textBoxWidth = 320;
  mark.style = style;
  return mark;
}

// An array of marks alone, as earlier releases stored each history entry.
EditState decodeBareMarkList(const QList<Mark> &marks) {
  JsonWriter writer;
  Mark::encodeList(writer, marks);
  QJsonParseError error;
  const QJsonDocument json = QJsonDocument::fromJson(writer.take(), &error);
  if (error.error != QJsonParseError::NoError || !json.isArray())
    NativeTests::fail(QStringLiteral("An encoded mark list could not be read back: ") + error.errorString());
  return EditState::decode(json.array());
}

} // namespace

void stateChecks(const QImage &image, const QDir &root, AnnotationPreferences &preferences) {
  Q_UNUSED(root) // the update checkpoint rows autosave into it
  const Mark drawingArrow = arrowMark({80, 100}, {300, 170}, AnnotationStyle::doodle);
  Mark formalCopy = drawingArrow;
  formalCopy.id = QUuid::createUuid();
  formalCopy.style = AnnotationStyle::formal;

  preferences.setStyle(AnnotationStyle::formal);
  CrelDocument styleDocument(image, preferences);
  styleDocument.selectTool(MarkTool::rectangle);
  expect(styleDocument.stroke() == 12, QStringLiteral("Shapes start at the bolder shared stroke default"));

  styleDocument.setStroke(9);
  styleDocument.selectTool(MarkTool::arrow);
  expect(styleDocument.stroke() == 32, QStringLiteral("Returning to Arrow retains its default weight"));

  styleDocument.selectTool(MarkTool::rectangle);
  expect(styleDocument.stroke() == 9, QStringLiteral("Each tool retains its chosen weight within the crel"));

  styleDocument.setStyle(AnnotationStyle::doodle);
  expect(styleDocument.canUndo() && styleDocument.marks().isEmpty(),
         QStringLiteral("Changing style on an empty canvas records an undo step"));

  styleDocument.undo();
  expect(styleDocument.annotationStyle() == AnnotationStyle::formal && preferences.style() == AnnotationStyle::formal,
         QStringLiteral("Empty-canvas undo restores the style and the next-capture preference together"));

  styleDocument.redo();
  CrelDocument nextCapture(image, preferences);
  expect(styleDocument.annotationStyle() == AnnotationStyle::doodle &&
             nextCapture.annotationStyle() == AnnotationStyle::doodle,
         QStringLiteral("Empty-canvas redo and the next capture agree on Doodle"));

  nextCapture.commit({drawingArrow});
  nextCapture.undo();
  expect(nextCapture.annotationStyle() == AnnotationStyle::doodle && nextCapture.marks().isEmpty(),
         QStringLiteral("Undoing the last drawing preserves the chosen style on an empty canvas"));

  styleDocument.setStyle(AnnotationStyle::formal);
  expect(styleDocument.future().isEmpty(),
         QStringLiteral("A new style choice clears the previous redo branch even with no marks"));

  // Next, with autosave and update restore: the encoded update checkpoint
  // (undo and redo on the restored document), then the other-window check.
  // Until then the style document stands in for the restored one, and the
  // moved copy is translated here rather than through Mark::moved.
  CrelDocument otherWindow(image, preferences);
  Mark movedCopy = formalCopy;
  movedCopy.start += QPointF(15, 10);
  movedCopy.end += QPointF(15, 10);
  otherWindow.commit({formalCopy});
  otherWindow.commit({movedCopy});
  styleDocument.setStyle(AnnotationStyle::doodle);
  otherWindow.undo();

  otherWindow.selectMark(formalCopy, false);
  otherWindow.selectTool(MarkTool::text);
  otherWindow.setInk(NativeTests::paletteInk(2));
  expect(otherWindow.annotationStyle() == AnnotationStyle::formal && preferences.style() == AnnotationStyle::doodle,
         QStringLiteral("Selection, tool and color changes never choose a different style"));

  const EditState released = decodeBareMarkList({formalCopy});
  expect(sameMarks(released.marks, {formalCopy}) && released.style == AnnotationStyle::formal,
         QStringLiteral("Previously released update history still decodes"));

  // Next, with mark geometry: resizing short arrows and hit-testing heads,
  // per style (formal first), then the filled Formal head.
}

void run(const QImage &image, const QDir &root) {
  NativeTests::IsolatedSettings settings(root.path(), QStringLiteral("annotation-tests-"));
  AnnotationPreferences preferences(settings.store());
  CrelDocument styleDocument(image, preferences);
  const QList<double> inspectorPresets{8, 14, 22, 32};
  expect(styleDocument.stroke() == 32 && inspectorPresets.contains(styleDocument.stroke()),
         QStringLiteral("New arrows start at the default weight, which is also the selected inspector preset"));
  expect(styleDocument.annotationStyle() == AnnotationStyle::formal, QStringLiteral("First-run style is Formal"));
  // Next, with rendering: Formal and Doodle export and history per tool,
  // style persistence and fonts, Formal arrow geometry.
  stateChecks(image, root, preferences);
  // Next: canvas growth, update recovery and the editor stage.
}

} // namespace crel::StyleCanvasTests
