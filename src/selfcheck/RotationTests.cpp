#include "RotationTests.h"

#include "CanvasEvents.h"
#include "CanvasWindow.h"
#include "Check.h"
#include "Fixtures.h"
#include "IsolatedSettings.h"
#include "PixelProbe.h"

#include "canvas/CanvasView.h"
#include "canvas/InlineTextEditor.h"
#include "canvas/InlineTextView.h"
#include "capture/CaptureSource.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/MarkGeometry.h"
#include "platform/clipboard/Pasteboard.h"
#include "platform/files/JsonWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QInputMethodEvent>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <numbers>

namespace crel::RotationTests {

using NativeTests::expect;
using NativeTests::fail;

namespace {

constexpr double pi = std::numbers::pi;

bool near(QPointF a, QPointF b) { return std::hypot(a.x() - b.x(), a.y() - b.y()) < 0.001; }

double angle(const Mark &mark) { return mark.rotation && std::isfinite(*mark.rotation) ? *mark.rotation : 0; }

QPointF screen(const Mark &mark, QPointF p) { return rotationTransform(mark).map(p); }

double scaleOf(const CanvasView &canvas) { return canvas.imageRect().width() / canvas.document()->pixelSize().width(); }

double redAt(const QByteArray &png, int x, int y) {
  return NativeTests::colorAt(NativeTests::decodePNG(png, QStringLiteral("A rotation export")), x, y).redF();
}

const Mark &first(const CrelDocument &document) {
  if (document.marks().isEmpty())
    fail(QStringLiteral("The document has no marks where a rotation check reads the first"));
  return document.marks().first();
}

Mark baseRectangle() {
  Mark mark = NativeTests::checkMark(MarkTool::rectangle, {300, 170}, {500, 230}, 12);
  return mark;
}

Mark withoutRotationKey(const Mark &mark) {
  JsonWriter writer;
  mark.encode(writer);
  QJsonParseError error;
  QJsonDocument json = QJsonDocument::fromJson(writer.take(), &error);
  if (error.error != QJsonParseError::NoError || !json.isObject())
    fail(QStringLiteral("An encoded mark could not be read back: ") + error.errorString());
  QJsonObject object = json.object();
  object.remove(QStringLiteral("rotation"));
  return Mark::decode(object);
}

void handleChecks(CrelDocument &document, CanvasView &canvas, NativeTests::CanvasEvents &events, const Mark &r) {
  document.commit({r});
  document.selectMark(r, false);
  QPointF h = rotationHandle(r, scaleOf(canvas));
  const qsizetype h0 = document.history().size();
  events.drag(h, {(200 - h.y()) + 400, 200});
  const Mark r90 = first(document);
  expect(
      std::abs(angle(r90) - pi / 2) < 0.001 && r90.start == r.start && r90.end == r.end,
      QStringLiteral("Rotation handle turns the selected shape 90 degrees without changing its editable dimensions"));
  expect(document.history().size() == h0 + 1, QStringLiteral("An entire rotation drag creates one undo step"));
  expect(hitTest(r90, {430, 200}, 1) && !hitTest(r90, {300, 200}, 1),
         QStringLiteral("Picking follows the rotated contour, not its old location"));

  document.undo();
  expect(document.marks() == QList<Mark>{r}, QStringLiteral("Undo restores the annotation before rotation"));
  document.redo();
  expect(document.marks() == QList<Mark>{r90}, QStringLiteral("Redo restores the exact angle"));

  document.selectMark(r90, false);
  const QTransform t = rotationTransform(r90);
  const QPointF a3 = t.map(QPointF(300, 170));
  const QPointF b3 = t.map(QPointF(500, 230));
  const QPointF c3 = t.map(QPointF(550, 250));
  events.drag(b3, c3);
  const Mark rs = first(document);
  expect(near(screen(rs, rs.start), a3) && near(screen(rs, rs.end), c3),
         QStringLiteral("Resizing a rotated shape follows the pointer and keeps the opposite corner fixed"));

  const geom::Rect box = bounds(rs);
  const QPointF g = screen(rs, {box.midX(), box.minY()});
  const QPointF s0 = screen(rs, rs.start);
  events.drag(g, g + QPointF(40, 25));
  const Mark rm = first(document);
  expect(near(screen(rm, rm.start), s0 + QPointF(40, 25)),
         QStringLiteral("Moving a rotated annotation uses the screen axes"));

  document.commit({r});
  document.selectMark(r, false);
  h = rotationHandle(r, scaleOf(canvas));
  const double d = 200 - h.y();
  events.drag(h, {400 + d * 0.374606593415912, 200 - d * 0.9271838545667874}, Qt::ShiftModifier);
  expect(std::abs(angle(first(document)) - pi / 12) < 0.001, QStringLiteral("Shift rotation snaps to 15-degree steps"));
  document.selectMark(first(document), false);
  events.key(Qt::Key_Right, {}, Qt::AltModifier);
  expect(std::abs(angle(first(document)) - pi / 6) < 0.001,
         QStringLiteral("Alt-Right rotates the selection another 15 degrees"));
  document.rotateSelection(std::nullopt);
  expect(!first(document).rotation.has_value(), QStringLiteral("Reset Rotation restores the original orientation"));

  const QList<Mark> m0 = document.marks();
  const qsizetype h1 = document.history().size();
  h = rotationHandle(r, scaleOf(canvas));
  events.down(h);
  events.dragged({550, 200});
  events.key(Qt::Key_Escape, QString(QChar(0x1b)));
  events.up({550, 200});
  expect(document.marks() == m0 && document.history().size() == h1,
         QStringLiteral("Escape cancels rotation without saving a partial angle"));
}

void outputChecks(CrelDocument &document, const Mark &r, const QDir &root, AnnotationPreferences &preferences) {
  Mark redaction = r;
  redaction.tool = MarkTool::redact;
  const Mark x90 = rotated(redaction, pi / 2);
  document.commit({x90});
  document.selectMark(x90, false);
  const QByteArray p = document.renderPNG();
  expect(redAt(p, 400, 120) < 0.01 && redAt(p, 320, 200) > 0.9,
         QStringLiteral("PNG rendering rotates the actual redaction pixels and leaves the old location uncovered"));

  FakePasteboard pasteboard;
  document.copy(pasteboard);
  const QByteArray copied = pasteboard.read(QStringLiteral("image/png"));
  expect(!copied.isEmpty() && copied == p, QStringLiteral("Clipboard and export contain identical rotated pixels"));

  document.enableAutosave(root.filePath(QStringLiteral("rotation")),
                          CaptureSource{}.filenameStem(QDateTime::currentDateTime()));
  document.flushAutosave();
  if (!document.savedURL())
    fail(QStringLiteral("The autosaved document names no saved file"));
  expect(NativeTests::readFile(*document.savedURL()) == p, QStringLiteral("Autosave writes the rotated result"));

  const UpdateSnapshot snapshot = NativeTests::throughJson(document.snapshotForUpdate());
  const std::unique_ptr<CrelDocument> restored = CrelDocument::restoreAfterUpdate(snapshot, preferences);
  expect(restored->marks() == QList<Mark>{x90} && restored->renderPNG() == p,
         QStringLiteral("Update recovery preserves rotation and its exact output"));

  expect(angle(withoutRotationKey(x90)) == 0,
         QStringLiteral("Saved annotations from before rotation decode without changing orientation"));

  document.duplicateSelection();
  expect(document.marks().last().rotation == x90.rotation && document.marks().last().id != x90.id,
         QStringLiteral("Duplicate retains rotation with an independent identity"));

  Mark arrow = r;
  arrow.id = QUuid::createUuid();
  arrow.tool = MarkTool::arrow;
  arrow.start = {200, 200};
  arrow.end = {400, 200};
  const Mark a60 = rotated(arrow, pi / 3);
  const QTransform t60 = rotationTransform(a60);
  const QPointF tail = t60.map(a60.start);
  const QPointF target = t60.map(QPointF(460, 240));
  const Mark ar = resized(a60, MarkHandle::end, target);
  expect(near(screen(ar, ar.start), tail) && near(screen(ar, ar.end), target),
         QStringLiteral("A rotated arrow endpoint remains editable around its fixed tail"));

  const Mark k = rotated(moved(r, -295, -160), pi / 4);
  document.commit({k});
  const geom::Rect e = document.expandedBounds(document.marks());
  const geom::Rect local = localVisualBounds(first(document));
  const geom::Rect v = local.isNull() ? local : local.applying(rotationTransform(first(document)));
  expect(e.minY() < 0 && e.contains(v),
         QStringLiteral("The export canvas expands around rotated corners without clipping"));
}

// Where the canvas shows coral ink, and along which direction it runs: the
// centroid and principal axis (degrees, y down) of the coral pixels.
struct InkSpread {
  QPointF centre;
  double degrees = 0;
  qint64 count = 0;
};

InkSpread coralOnScreen(CanvasView &canvas) {
  const QImage image = canvas.grab().toImage().convertToFormat(QImage::Format_RGB32);
  double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
  InkSpread spread;
  for (int y = 0; y < image.height(); ++y) {
    const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if (qRed(row[x]) > 180 && qGreen(row[x]) < 120 && qBlue(row[x]) < 120) {
        sx += x, sy += y, sxx += double(x) * x, syy += double(y) * y, sxy += double(x) * y;
        ++spread.count;
      }
  }
  if (spread.count == 0)
    return spread;
  const double n = double(spread.count);
  spread.centre = {sx / n, sy / n};
  const double mxx = sxx / n - spread.centre.x() * spread.centre.x();
  const double myy = syy / n - spread.centre.y() * spread.centre.y();
  const double mxy = sxy / n - spread.centre.x() * spread.centre.y();
  spread.degrees = 0.5 * std::atan2(2 * mxy, mxx - myy) * 180 / pi;
  return spread;
}

void rotatedText(CrelDocument &document, CanvasView &canvas, NativeTests::CanvasEvents &events) {
  Mark label;
  label.id = QUuid::createUuid();
  label.tool = MarkTool::text;
  label.start = {180, 160};
  label.end = {0, 0};
  label.ink = NativeTests::paletteInk(0);
  label.width = 12;
  label.text = QStringLiteral("Turn this label");
  label.arrowHeadScale = 1;
  label.fontSize = 32;
  label.textBoxWidth = 280;
  const Mark l30 = rotated(label, pi / 6);
  document.commit({l30});
  document.selectMark(l30, false);
  const InkSpread shown = coralOnScreen(canvas);
  const geom::Rect box = bounds(l30);
  events.doubleClick(screen(l30, box.center()));
  InlineTextView *editor = canvas.inlineTextEditor().isOpen() ? canvas.inlineTextEditor().view() : nullptr;
  if (!editor)
    fail(QStringLiteral("Rotated label did not enter inline editing"));
  // The text as the open editor paints it lies where and as the label lay
  // on the canvas before editing began.
  const InkSpread editing = coralOnScreen(canvas);
  const QPointF anchor = screen(l30, l30.start);
  expect(editing.count > 0 && editing.count > shown.count * 2 / 3 && editing.count < shown.count * 3 / 2 &&
             std::hypot(editing.centre.x() - shown.centre.x(), editing.centre.y() - shown.centre.y()) < 1.5 &&
             std::abs(editing.degrees - shown.degrees) < 1 && std::abs(editing.degrees - 30) < 3,
         QStringLiteral("Inline text editor follows the label's rotated position and angle"));

  QInputMethodEvent typing;
  typing.setCommitString(QStringLiteral("\nAnother line"));
  QCoreApplication::sendEvent(editor, &typing);
  canvas.finishText(false);
  const Mark le = first(document);
  expect(near(screen(le, le.start), anchor) && std::abs(angle(le) - pi / 6) < 0.001,
         QStringLiteral("Editing a rotated multiline label preserves its angle and visual starting point"));
}

QImage stripes() {
  QImage image(400, 300, QImage::Format_ARGB32);
  if (image.isNull())
    fail(QStringLiteral("The striped bitmap could not be made"));
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 400; ++x)
      image.setPixel(x, y, (x & 8) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
  return image;
}

void rotatedBlur(AnnotationPreferences &preferences, const Mark &r) {
  CrelDocument document(stripes(), preferences);
  Mark blur = r;
  blur.id = QUuid::createUuid();
  blur.tool = MarkTool::blur;
  blur.start = {100, 130};
  blur.end = {300, 170};
  blur.blurEffect = BlurEffect::blur;
  blur.blurStrength = 16;
  const Mark b90 = rotated(blur, pi / 2);
  document.commit({b90});
  QByteArray png = document.renderPNG();
  expect(redAt(png, 200, 70) > 0.15 && redAt(png, 200, 70) < 0.85 && redAt(png, 116, 150) > 0.95,
         QStringLiteral("Blur filters the rotated mask without rotating the screenshot or touching the old mask"));

  document.commit({rotated(b90, pi / 4)});
  png = document.renderPNG();
  expect(redAt(png, 144, 94) > 0.15 && redAt(png, 144, 94) < 0.85 && redAt(png, 144, 206) > 0.95,
         QStringLiteral("Diagonal blur clips to the rotated shape rather than its rectangular bounding box"));

  Mark worded = b90;
  worded.regions = QList<geom::Rect>{{100, 130, 60, 40}, {240, 130, 60, 40}};
  document.commit({worded});
  expect(redAt(document.renderPNG(), 200, 150) < 0.05,
         QStringLiteral("Rotated Smart text blur preserves the gaps between its word regions"));
}

} // namespace

void run(const QImage &image, const QDir &root) {
  NativeTests::IsolatedSettings settings(root.path(), QStringLiteral("rotation-tests-"));
  AnnotationPreferences preferences(settings.store());
  CrelDocument document(image, preferences);
  NativeTests::CanvasWindow host(document, 800, 620);
  CanvasView *canvas = &host.canvas();
  NativeTests::CanvasEvents events(*canvas);

  const Mark r = baseRectangle();
  handleChecks(document, *canvas, events, r);
  outputChecks(document, r, root, preferences);
  rotatedText(document, *canvas, events);
  rotatedBlur(preferences, r);
}

} // namespace crel::RotationTests
