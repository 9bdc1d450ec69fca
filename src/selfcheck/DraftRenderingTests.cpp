#include "DraftRenderingTests.h"

#include "Check.h"
#include "Fixtures.h"
#include "IsolatedSettings.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/MarkGeometry.h"

namespace crel::DraftRenderingTests {

using NativeTests::expect;

namespace {

Mark degenerateMark(MarkTool tool, double width, AnnotationStyle style) {
  Mark mark;
  mark.id = QUuid::createUuid();
  mark.tool = tool;
  mark.start = {-40, -30};
  mark.end = {-40, -30};
  mark.ink = NativeTests::paletteInk(0);
  mark.width = width;
  mark.arrowHeadScale = 1;
  mark.fontSize = 40;
  mark.textBoxWidth = 320;
  mark.style = style;
  return mark;
}

// No extent before rotation, and none after it either.
bool noVisualExtent(const Mark &mark) {
  const geom::Rect local = localVisualBounds(mark);
  return local.isNull() && local.applying(rotationTransform(mark)).isNull();
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
  // Next, with the canvas: a bare click and a drag back through its origin
  // for every drawing tool in both styles, redrawn between events.
}

} // namespace crel::DraftRenderingTests
