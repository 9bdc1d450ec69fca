#include "StyleCanvasTests.h"

#include "Check.h"
#include "Fixtures.h"
#include "IsolatedSettings.h"
#include "ShapeProbe.h"
#include "ToolLists.h"

#include "capture/CaptureSource.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/MarkGeometry.h"
#include "document/MarkPaths.h"
#include "platform/files/JsonWriter.h"

#include <QDateTime>
#include <QFontInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace crel::StyleCanvasTests {

using NativeTests::expect;

namespace {

Mark arrowMark(QPointF start, QPointF end, AnnotationStyle style) {
  Mark mark = NativeTests::checkMark(MarkTool::arrow, start, end, 24);
  mark.style = style;
  return mark;
}

// `handle` dragged to `point` as the canvas drags it: the point taken into the
// mark's unrotated frame, then the result moved back so its centre stays put.
Mark resizedKeepingCentre(const Mark &mark, MarkHandle handle, QPointF point) {
  const QPointF centre = bounds(mark).center();
  const Mark resized = resizedLocally(mark, handle, rotationTransform(mark).inverted().map(point));
  const QPointF shift = bounds(resized).center() - centre;
  return moved(resized, -shift.x(), -shift.y());
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

// The sample each style tool commits in the per-tool style pass.
Mark styleSample(MarkTool tool) {
  Mark mark = NativeTests::checkMark(tool, {100, 80}, {380, 230}, 24);
  if (tool == MarkTool::pen)
    mark.points = {{100, 80}, {180, 170}, {300, 110}, {380, 230}};
  mark.text = QStringLiteral("Clearer together");
  mark.style = AnnotationStyle::formal;
  return mark;
}

QJsonObject markObject(const Mark &mark) {
  JsonWriter writer;
  mark.encode(writer);
  QJsonParseError error;
  const QJsonDocument json = QJsonDocument::fromJson(writer.take(), &error);
  if (error.error != QJsonParseError::NoError || !json.isObject())
    NativeTests::fail(QStringLiteral("An encoded mark could not be read back: ") + error.errorString());
  return json.object();
}

const Mark &firstMark(const CrelDocument &document) {
  if (document.marks().isEmpty())
    NativeTests::fail(QStringLiteral("The style document has no first mark"));
  return document.marks().first();
}

// Integral values with one decimal ("800.0"), others in their shortest form ("0.5").
QString decimal(double value) {
  if (std::isfinite(value) && value == std::trunc(value) && std::abs(value) < 1e15)
    return QString::number(value, 'f', 1);
  return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

Mark headArrow(QPointF end, const Ink &ink, double width) {
  Mark mark = arrowMark({0, 0}, end, AnnotationStyle::formal);
  mark.ink = ink;
  mark.width = width;
  return mark;
}

void perToolStyle(CrelDocument &document) {
  for (const MarkTool tool : NativeTests::styleTools) {
    const QString name = label(tool);
    const Mark sample = styleSample(tool);
    document.setStyle(AnnotationStyle::formal);
    document.commit({sample});
    const QByteArray formal = document.renderPNG();
    document.setStyle(AnnotationStyle::doodle);
    const QByteArray doodle = document.renderPNG();
    expect(formal != doodle, name + QStringLiteral(" changes its actual exported rendering in Doodle mode"));
    expect(document.renderPNG() == doodle, name + QStringLiteral(" Doodle export is deterministic"));
    document.undo();
    expect(sameMarks(document.marks(), {sample}) && document.annotationStyle() == AnnotationStyle::formal,
           name + QStringLiteral(" style change undoes in one step"));
    document.redo();
    expect(document.annotationStyle() == AnnotationStyle::doodle, name + QStringLiteral(" Doodle style can be redone"));
    const Mark &first = firstMark(document);
    expect(Mark::decode(markObject(first)) == first, name + QStringLiteral(" style survives serialization"));
  }
}

void persistenceChecks(const QImage &image, CrelDocument &document, SettingsStore &store) {
  AnnotationPreferences relaunched(store);
  const CrelDocument relaunchedDocument(image, relaunched);
  expect(relaunched.style() == AnnotationStyle::doodle &&
             relaunchedDocument.annotationStyle() == AnnotationStyle::doodle,
         QStringLiteral("Style preference survives relaunch and applies to new captures"));

  QJsonObject object = markObject(firstMark(document));
  object.remove(QStringLiteral("style"));
  QJsonParseError error;
  const QJsonDocument reparsed = QJsonDocument::fromJson(QJsonDocument(object).toJson(), &error);
  if (error.error != QJsonParseError::NoError)
    NativeTests::fail(QStringLiteral("A mark without its style could not be read back: ") + error.errorString());
  const Mark older = Mark::decode(reparsed.object());
  expect(older.style != AnnotationStyle::doodle,
         QStringLiteral("Pre-style annotations restore without changing their appearance"));

  const QString doodleFont = QFontInfo(font(AnnotationStyle::doodle, 28)).family();
  const QString formalFont = QFontInfo(font(AnnotationStyle::formal, 28)).family();
  expect(doodleFont != formalFont, QStringLiteral("Doodle text uses a real handwritten font"));
}

void arrowGeometry() {
  const Mark shortArrow = headArrow({200, 0}, NativeTests::paletteInk(1), 12);
  const Mark longArrow = headArrow({1000, 0}, NativeTests::paletteInk(1), 12);
  expect(arrowHeadLength(shortArrow) == arrowHeadLength(longArrow) &&
             arrowHeadHalfWidth(shortArrow) ==
                 std::max(0.62 * effectiveLineWidth(longArrow), 0.483 * arrowHeadLength(longArrow)),
         QStringLiteral("Long thin arrows retain the same compact head as shorter arrows of the same weight"));

  const MarkPath longPath = path(longArrow);
  expect(longPath.contains({600, 0}) && !longPath.contains({950, 30}),
         QStringLiteral("Formal silhouette retains its shaft without the previous oversized triangular head"));
  const MarkPath shortPath = path(shortArrow);
  expect(shortPath.contains({3, 0}) && !shortPath.contains({0.1, 5.9}),
         QStringLiteral("Arrow tail is smoothly rounded while its endpoint stays fixed"));

  const Mark tipArrow = headArrow({300, 0}, NativeTests::paletteInk(0), 32);
  const MarkPath tipPath = path(tipArrow);
  const geom::Rect tipBounds = tipPath.boundingBox();
  if (tipBounds.isNull())
    NativeTests::fail(QStringLiteral("The tip arrow's outline has no bounds"));
  expect(std::abs(tipBounds.maxX() - 300) < 0.5 && tipPath.contains({299, 0}) && !tipPath.contains({301, 0}),
         QStringLiteral("The arrow's visible tip lands exactly on its endpoint"));
  const double head = arrowHeadLength(tipArrow);
  const QPainterPath outline = tipPath.toPainterPath();
  const double tail = NativeTests::thickness(outline, 20);
  const double neck = NativeTests::thickness(outline, 300 - head - 4);
  const double headWidth = NativeTests::thickness(outline, 300 - 0.87 * head + 1);
  expect(
      tail < 0.6 * neck && neck <= effectiveLineWidth(tipArrow) + 0.5 && headWidth > 2 * neck,
      QStringLiteral("The shaft tapers from a slim tail into the neck, and the head is clearly wider than the shaft"));
  expect(tipBounds.minX() >= -0.01 && std::abs(tipBounds.minX()) < 0.5,
         QStringLiteral("The rounded tail starts at the arrow's origin"));

  for (const double length : {0.0, 1.0, 8.0, 24.0, 80.0, 800.0})
    for (const double scale : {0.5, 1.0, 2.0}) {
      Mark arrow = shortArrow;
      arrow.end = {length, 0};
      arrow.arrowHeadScale = scale;
      const geom::Rect extent = visualBounds(arrow);
      const bool bounded = length == 0 ? extent.isNull()
                                       : !extent.isNull() && std::isfinite(extent.width()) &&
                                             std::isfinite(extent.height()) && arrowHeadLength(arrow) < 0.5 * length;
      expect(bounded, QStringLiteral("Arrow geometry stays bounded at length ") + decimal(length) +
                          QStringLiteral(", head scale ") + decimal(scale));
    }
}

} // namespace

void stateChecks(const QImage &image, const QDir &root, AnnotationPreferences &preferences) {
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

  styleDocument.enableAutosave(root.path(), CaptureSource{}.filenameStem(QDateTime::currentDateTime()));
  const std::unique_ptr<CrelDocument> restored =
      CrelDocument::restoreAfterUpdate(NativeTests::throughJson(styleDocument.snapshotForUpdate()), preferences);
  restored->undo();
  expect(restored->annotationStyle() == AnnotationStyle::doodle && restored->marks().isEmpty(),
         QStringLiteral("Empty style history survives an encoded update checkpoint"));
  restored->redo();
  expect(restored->annotationStyle() == AnnotationStyle::formal,
         QStringLiteral("Restored style changes redo explicitly without inspecting a mark"));

  CrelDocument otherWindow(image, preferences);
  otherWindow.commit({formalCopy});
  otherWindow.commit({moved(formalCopy, 15, 10)});
  restored->setStyle(AnnotationStyle::doodle);
  otherWindow.undo();
  expect(otherWindow.annotationStyle() == AnnotationStyle::formal && preferences.style() == AnnotationStyle::doodle,
         QStringLiteral("Ordinary undo in another window does not overwrite the latest style preference"));

  otherWindow.selectMark(formalCopy, false);
  otherWindow.selectTool(MarkTool::text);
  otherWindow.setInk(NativeTests::paletteInk(2));
  expect(otherWindow.annotationStyle() == AnnotationStyle::formal && preferences.style() == AnnotationStyle::doodle,
         QStringLiteral("Selection, tool and color changes never choose a different style"));

  const EditState released = decodeBareMarkList({formalCopy});
  expect(sameMarks(released.marks, {formalCopy}) && released.style == AnnotationStyle::formal,
         QStringLiteral("Previously released update history still decodes"));

  for (const AnnotationStyle style : allCases<AnnotationStyle>()) {
    const Mark proportion = arrowMark({50, 50}, {120, 50}, style);
    const Mark resized = resizedKeepingCentre(proportion, MarkHandle::end, {190, 50});
    const double widthRatio = effectiveLineWidth(resized) / effectiveLineWidth(proportion);
    const double headRatio = arrowHeadLength(resized) / arrowHeadLength(proportion);
    expect(std::abs(widthRatio - 2) < 0.001 && std::abs(headRatio - 2) < 0.001,
           label(style) + QStringLiteral(" short arrows resize without changing their proportions"));
    expect(hitTest(proportion, {115, 50}, 2),
           label(style) + QStringLiteral(" arrowhead can be selected at its visible tip"));
  }
  expect(hitTest(formalCopy, {265, 155}, 0),
         QStringLiteral("Filled Formal arrowheads can be selected inside their silhouette"));
}

void run(const QImage &image, const QDir &root) {
  NativeTests::IsolatedSettings settings(root.path(), QStringLiteral("annotation-tests-"));
  AnnotationPreferences preferences(settings.store());
  CrelDocument styleDocument(image, preferences);
  const QList<double> inspectorPresets{8, 14, 22, 32};
  expect(styleDocument.stroke() == 32 && inspectorPresets.contains(styleDocument.stroke()),
         QStringLiteral("New arrows start at the default weight, which is also the selected inspector preset"));
  expect(styleDocument.annotationStyle() == AnnotationStyle::formal, QStringLiteral("First-run style is Formal"));
  perToolStyle(styleDocument);
  persistenceChecks(image, styleDocument, settings.store());
  arrowGeometry();
  stateChecks(image, root, preferences);
  growthChecks(image, root, preferences);
}

} // namespace crel::StyleCanvasTests
