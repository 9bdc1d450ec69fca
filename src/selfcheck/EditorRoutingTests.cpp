#include "EditorRoutingTests.h"

#include "Check.h"
#include "Fixtures.h"
#include "IsolatedSettings.h"

#include "canvas/CanvasView.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditorSizePreferences.h"
#include "editor/EditorController.h"
#include "editor/EditorView.h"
#include "editor/EditorWindow.h"

#include <QCoreApplication>
#include <QMouseEvent>

namespace crel::NativeTests::EditorRoutingTests {

namespace {

void sendMouse(CanvasView &canvas, QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
  QMouseEvent event(type, at, canvas.mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(&canvas, &event);
}

// Down at `at`, then dragged to and released 120 points lower.
void pressAndDragDown(CanvasView &canvas, QPointF at) {
  const QPointF lower = at + QPointF(0, 120);
  sendMouse(canvas, QEvent::MouseButtonPress, at, Qt::LeftButton);
  sendMouse(canvas, QEvent::MouseMove, lower, Qt::LeftButton);
  sendMouse(canvas, QEvent::MouseButtonRelease, lower, Qt::NoButton);
}

// The widget of `window` a click at canvas point `p` reaches.
QWidget *hitTest(QWidget &window, const CanvasView &canvas, QPointF p) {
  return window.childAt(canvas.mapTo(&window, p.toPoint()));
}

} // namespace

void run(const QImage &image, const QDir &root) {
  IsolatedSettings isolated(root.path(), QStringLiteral("editor-routing-"));
  AnnotationPreferences annotation(isolated.store());
  EditorSizePreferences sizes(isolated.store());
  EditorController editor(std::make_unique<CrelDocument>(image, annotation), sizes);
  EditorWindow *window = editor.window();
  CanvasView *canvas = window ? CanvasView::find(window) : nullptr;
  if (!canvas)
    fail(QStringLiteral("Routing test editor is missing its canvas"));
  const HideOnExit hide(window);

  pumpUntil(
      [&] {
        layOut(*window);
        return canvas->chromeFrames().size() >= 6;
      },
      3000, 50);
  const QList<geom::Rect> frames = canvas->chromeFrames();
  expect(frames.size() == 6, QStringLiteral("All six floating bars report their frames to the canvas"));

  const geom::Rect imageRect = canvas->imageRect();
  expect(std::none_of(frames.begin(), frames.end(), [&](const geom::Rect &f) { return f.intersects(imageRect); }),
         QStringLiteral("At Fit, no bar covers the screenshot"));
  expect(hitTest(*window, *canvas, {imageRect.midX(), imageRect.midY()}) == canvas,
         QStringLiteral("A click on the screenshot reaches the canvas through the chrome layer"));
  expect(hitTest(*window, *canvas, {imageRect.minX() - 8, imageRect.midY()}) == canvas,
         QStringLiteral("A click beside the screenshot reaches the canvas, so marks can extend past its edges"));

  editor.document().selectTool(MarkTool::arrow);
  int handledByBars = 0;
  for (const geom::Rect &frame : frames) {
    const geom::Rect probe = frame.insetBy(1, 1);
    for (int i = 0; i <= 12; ++i) {
      const QPointF p(probe.minX() + probe.width() * i / 12, probe.midY());
      QWidget *hit = hitTest(*window, *canvas, p);
      if (hit == canvas)
        pressAndDragDown(*canvas, p);
      else if (hit)
        ++handledByBars;
    }
  }
  expect(handledByBars >= 21, QStringLiteral("Clicks on the bars' controls are handled by the controls"));
  expect(editor.document().marks().isEmpty(),
         QStringLiteral("Pressing or dragging anywhere inside a floating bar never starts a mark"));
}

} // namespace crel::NativeTests::EditorRoutingTests
