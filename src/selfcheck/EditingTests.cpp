#include "EditingTests.h"

#include "CanvasEvents.h"
#include "CanvasWindow.h"
#include "Check.h"
#include "Fixtures.h"
#include "IsolatedSettings.h"
#include "PixelProbe.h"

#include "canvas/CanvasView.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/MarkGeometry.h"

#include <cmath>

namespace crel::EditingTests {

using NativeTests::expect;
using NativeTests::fail;

namespace {

bool approx(double a, double b) { return std::abs(a - b) < 0.001; }

double scaleOf(const CanvasView &canvas) { return canvas.imageRect().width() / canvas.document()->pixelSize().width(); }

// The first mark; a gesture that left none ends the run naming the check.
const Mark &firstMark(const CrelDocument &document, const QString &message) {
  if (document.marks().isEmpty())
    fail(QStringLiteral("No mark to read for: ") + message);
  return document.marks().first();
}

struct Target {
  QPointF point;
  const char *name;
};

void shiftChecks(CrelDocument &document, const CanvasView &canvas, NativeTests::CanvasEvents &events) {
  const Target targets[] = {
      {{420, 215}, "horizontal"}, {{210, 430}, "vertical"}, {{50, 65}, "diagonal"}, {{20, 190}, "leftward"}};
  for (const AnnotationStyle style : {AnnotationStyle::formal, AnnotationStyle::doodle}) {
    document.setStyle(style);
    for (const MarkTool tool : {MarkTool::line, MarkTool::arrow}) {
      for (const Target &target : targets) {
        document.commit({});
        document.selectTool(tool);
        events.drag({200, 200}, target.point, Qt::ShiftModifier);
        const QString message = label(style) + u' ' + label(tool) + QStringLiteral(" Shift gesture snaps ") +
                                QLatin1String(target.name) + QStringLiteral(" to 45-degree increments");
        const Mark &mark = firstMark(document, message);
        const double dx = std::abs(mark.end.x() - mark.start.x());
        const double dy = std::abs(mark.end.y() - mark.start.y());
        expect((dx < 0.001 || dy < 0.001 || std::abs(dx - dy) < 0.001) && mark.constrained == true, message);
        if (QLatin1String(target.name) == QLatin1String("horizontal"))
          expect(dy < 0.001,
                 QStringLiteral("A nearly horizontal Shift line stays horizontal instead of becoming diagonal"));
      }
    }
  }

  document.commit({});
  document.selectTool(MarkTool::line);
  events.down({200, 200});
  events.dragged({420, 220});
  events.key(Qt::Key_Shift, {}, Qt::ShiftModifier);
  // The gesture must follow the key at once, not only when the button comes up.
  const bool snappedWhileDragging = canvas.draft() && approx(canvas.draft()->end.y(), 200);
  events.up({420, 220}, Qt::ShiftModifier);
  QString message = QStringLiteral("Pressing Shift during a drag updates the same gesture");
  expect(snappedWhileDragging && approx(firstMark(document, message).end.y(), 200), message);

  const QUuid crossed = firstMark(document, QStringLiteral("The line drawn with Shift pressed late")).id;
  events.drag({230, 195}, {230, 350});
  expect(document.marks().size() == 2 && document.tool() == MarkTool::line && document.selection() != crossed,
         QStringLiteral("A drawing tool stays active and creates overlapping marks without stealing selection"));
  document.undo();
  expect(document.marks().size() == 1, QStringLiteral("Each repeated drawing gesture is one undo step"));

  message = QStringLiteral("Shift-move locks one axis using the operation's anchor");
  const Mark before = firstMark(document, message);
  document.selectMark(before, false);
  events.drag({300, 200}, {340, 207}, Qt::ShiftModifier);
  const Mark &after = firstMark(document, message);
  expect(approx(after.start.x(), before.start.x() + 40) && approx(after.start.y(), before.start.y()), message);

  const Mark m = after;
  events.drag(m.end, {m.start.x() + 20, m.start.y() + 200}, Qt::ShiftModifier);
  message = QStringLiteral("Shift endpoint resize constrains around the opposite endpoint");
  expect(approx(firstMark(document, message).end.x(), m.start.x()), message);

  for (const MarkTool tool : {MarkTool::rectangle, MarkTool::ellipse, MarkTool::triangle}) {
    document.commit({});
    document.selectTool(tool);
    events.drag({200, 200}, {340, 250}, Qt::ShiftModifier);
    message = QStringLiteral("Shift ") + label(tool) + QStringLiteral(" preserves equal dimensions");
    const geom::Rect box = bounds(firstMark(document, message));
    expect(approx(box.width(), box.height()), message);
  }
}

void markerAndSettingsChecks(CrelDocument &document, CanvasView &canvas, NativeTests::CanvasEvents &events) {
  document.commit({});
  document.selectTool(MarkTool::highlight);
  document.setHighlightMode(HighlightMode::marker);
  document.setStroke(40);
  events.drag({80, 100}, {350, 115}, Qt::ShiftModifier);
  QString message = QStringLiteral("Marker has independent thickness and Shift locks its stroke horizontally");
  const Mark marker = firstMark(document, message);
  expect(marker.width == 40 && marker.points.size() == 2 && approx(marker.end.y(), marker.start.y()), message);

  const QImage exported = NativeTests::decodePNG(document.renderPNG(), QStringLiteral("The marker export"));
  const QColor c1 = NativeTests::colorAt(exported, 180, 100);
  const QColor c2 = NativeTests::colorAt(exported, 180, 125);
  expect(c1.blueF() < c2.blueF() && c1.blueF() > 0.3,
         QStringLiteral("Marker export is translucent and limited to the chosen thickness"));

  const Ink pink{QStringLiteral("Pink"), 1.0, 0.35, 0.62};
  const Ink &second = NativeTests::paletteInk(1);
  document.setInk(pink);
  document.selectTool(MarkTool::line);
  document.setStroke(8);
  document.setInk(second);
  document.selectTool(MarkTool::highlight);
  expect(document.stroke() == 40 && document.ink() == pink,
         QStringLiteral("Switching tools restores the highlighter's own color and thickness"));
  document.selectTool(MarkTool::line);
  expect(document.stroke() == 8 && document.ink() == second,
         QStringLiteral("The line keeps independent styling after highlighting"));

  events.drag({180, 100}, {210, 100}, Qt::ControlModifier);
  expect(document.tool() == MarkTool::line && document.stroke() == 8 && document.ink() == second &&
             !document.selection(),
         QStringLiteral("Temporarily moving a highlight preserves the active line's thickness and color"));
  expect(document.marks().size() == 1 && approx(document.marks().first().start.x(), marker.start.x() + 30),
         QStringLiteral("Ctrl-drag moves the existing mark instead of creating a line"));
  document.selectTool(MarkTool::highlight);
  expect(document.stroke() == 40 && document.highlightMode() == HighlightMode::marker && document.ink() == pink,
         QStringLiteral("Temporary selection also preserves the highlighter's independent settings"));

  document.selectTool(MarkTool::line);
  const QByteArray before = document.renderPNG();
  const double s1 = scaleOf(canvas);
  canvas.setZoom(3);
  const double s2 = scaleOf(canvas);
  expect(std::abs(s2 - 3 * s1) < 0.001, QStringLiteral("Zoom changes the viewing transform"));
  expect(document.renderPNG() == before, QStringLiteral("Zoom never changes exported pixels"));
  // At zoom 3 the points the next clicks use lie outside the canvas, where
  // presses are ignored; back at 1 the whole image is in view again.
  canvas.setZoom(1);
}

void orderChecks(CrelDocument &document, NativeTests::CanvasEvents &events) {
  document.commit({});
  document.selectTool(MarkTool::step);
  events.drag({100, 100}, {100, 100});
  events.drag({200, 200}, {200, 200});
  QList<std::optional<long long>> numbers;
  for (const Mark &mark : document.marks())
    numbers.append(mark.number);
  expect(numbers == QList<std::optional<long long>>{1, 2},
         QStringLiteral("Step clicks create sequential numbers while keeping the tool active"));
  document.undo();
  expect(document.nextStep() == 2, QStringLiteral("Undo restores the next step number"));

  QString message = QStringLiteral("Duplicate produces an independent editable step");
  document.selectMark(firstMark(document, message), false);
  document.duplicateSelection();
  expect(document.marks().size() == 2 && document.marks()[0].id != document.marks()[1].id &&
             document.marks()[1].number == 2,
         message);

  message = QStringLiteral("Send to back updates the real export order");
  const std::optional<QUuid> copy = document.selection();
  if (!copy)
    fail(QStringLiteral("The duplicated step is not selected"));
  document.reorderSelection(false);
  expect(firstMark(document, message).id == *copy, message);
  document.undo();
  message = QStringLiteral("Layer ordering is undoable");
  if (document.marks().isEmpty())
    fail(message);
  expect(document.marks().last().id == *copy, message);

  document.commit({});
  document.selectTool(MarkTool::redact);
  events.drag({100, 100}, {260, 180});
  const QImage exported = NativeTests::decodePNG(document.renderPNG(), QStringLiteral("The redaction export"));
  const QColor redacted = NativeTests::colorAt(exported, 170, 140);
  expect(redacted.redF() == 0 && redacted.greenF() == 0 && redacted.blueF() == 0 && redacted.alphaF() == 1,
         QStringLiteral("Redaction writes opaque black pixels into the exported image"));
}

} // namespace

void run(const QImage &image, const QDir &root) {
  NativeTests::IsolatedSettings settings(root.path(), QStringLiteral("editing-tests-"));
  AnnotationPreferences preferences(settings.store());
  CrelDocument document(image, preferences);
  NativeTests::CanvasWindow host(document, 700, 500);
  CanvasView *canvas = &host.canvas();
  NativeTests::CanvasEvents events(*canvas);

  shiftChecks(document, *canvas, events);
  markerAndSettingsChecks(document, *canvas, events);
  orderChecks(document, events);
  ocrChecks(root, preferences);
}

} // namespace crel::EditingTests
