#include "DraftRenderingTests.h"

#include "Check.h"
#include "Fixtures.h"
#include "IsolatedSettings.h"

#include "CanvasEvents.h"
#include "CanvasWindow.h"

#include "canvas/CanvasView.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/MarkGeometry.h"

namespace crel::DraftRenderingTests {

using NativeTests::expect;

namespace {

Mark degenerateMark(MarkTool tool, double width, AnnotationStyle style) {
  Mark mark = NativeTests::checkMark(tool, {-40, -30}, {-40, -30}, width);
  mark.style = style;
  return mark;
}

// No extent before rotation, and none after it either.
bool noVisualExtent(const Mark &mark) {
  const geom::Rect local = localVisualBounds(mark);
  return local.isNull() && local.applying(rotationTransform(mark)).isNull();
}

void gestureChecks(CrelDocument &document) {
  NativeTests::CanvasWindow host(document, 600, 480);
  CanvasView *canvas = &host.canvas();
  NativeTests::CanvasEvents events(*canvas);
  for (const AnnotationStyle style : {AnnotationStyle::formal, AnnotationStyle::doodle}) {
    for (const MarkTool tool :
         {MarkTool::arrow, MarkTool::line, MarkTool::rectangle, MarkTool::ellipse, MarkTool::triangle, MarkTool::pen}) {
      document.commit({});
      document.setStyle(style);
      document.selectTool(tool);
      const QString name = label(style) + u' ' + label(tool);
      events.down({100, 100});
      NativeTests::redraw(*canvas);
      events.up({100, 100});
      NativeTests::redraw(*canvas);
      expect(document.marks().isEmpty(),
             name + QStringLiteral(" click without dragging redraws safely and creates no mark"));

      events.down({100, 100});
      for (const QPointF p : {QPointF(250, 200), QPointF(100, 100), QPointF(300, 220)}) {
        events.dragged(p);
        NativeTests::redraw(*canvas);
      }
      events.up({300, 220});
      NativeTests::redraw(*canvas);
      expect(document.marks().size() == 1 && document.marks().first().tool == tool,
             name + QStringLiteral(" survives a draft returning to its origin and still commits normally"));
    }
  }
}

} // namespace

void run(const QImage &image, const QDir &settingsFolder) {
  NativeTests::IsolatedSettings settings(settingsFolder.path(), QStringLiteral("draft-rendering-tests-"));
  AnnotationPreferences preferences(settings.store());
  CrelDocument document(image, preferences);
  const geom::Rect imageRect(0, 0, document.pixelSize().width(), document.pixelSize().height());
  const QByteArray reference = document.renderPNG();

  const Mark arrow = degenerateMark(MarkTool::arrow, 24, AnnotationStyle::formal);
  expect(noVisualExtent(arrow) && document.expandedBounds({arrow}) == imageRect,
         QStringLiteral("A zero-length Formal arrow has no visual extent, including outside the screenshot"));
  document.commit({arrow});
  expect(document.renderPNG() == reference,
         QStringLiteral("Exporting an empty arrow preserves the original PNG without a crash"));

  for (const AnnotationStyle style : allCases<AnnotationStyle>()) {
    const Mark pen = degenerateMark(MarkTool::pen, 6, style);
    expect(noVisualExtent(pen) && document.expandedBounds({pen}) == imageRect,
           label(style) + QStringLiteral(" empty freehand paths do not query Qt bounds or grow the canvas"));
  }
  gestureChecks(document);
}

} // namespace crel::DraftRenderingTests
