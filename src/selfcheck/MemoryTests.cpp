#include "MemoryTests.h"

#include "Check.h"
#include "Fixtures.h"
#include "MemoryFootprint.h"

#include "canvas/CanvasView.h"
#include "capture/CaptureSource.h"
#include "document/CrelDocument.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"
#include "platform/clipboard/Pasteboard.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace crel::NativeTests::MemoryTests {

namespace {

constexpr int settleMs = 400;
constexpr qint64 allowedGrowth = 0x27FFFFF;

// A high-density screenshot: a light page crossed by 40 coloured bars.
QImage screenshot() {
  QImage image(3456, 2234, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull())
    fail(QStringLiteral("The 3456 by 2234 memory fixture could not be created"));
  image.fill(QColor::fromRgbF(0.95f, 0.95f, 0.96f));
  QPainter painter(&image);
  for (int i = 0; i < 40; ++i)
    painter.fillRect(QRect(80 + 13 * i, 60 + 52 * i, 2400, 24),
                     QColor::fromRgbF(float(i % 7) / 7, 0.4f, float(i % 5) / 5));
  return image;
}

QList<Mark> annotations() {
  Mark arrow = checkMark(MarkTool::arrow, {200, 200}, {1400, 900}, 32);
  Mark blur = checkMark(MarkTool::blur, {1600, 500}, {2400, 1100}, 12);
  blur.blurEffect = BlurEffect::blur;
  blur.blurStrength = 16;
  for (Mark *mark : {&arrow, &blur})
    mark->text.clear();
  return {arrow, blur};
}

void hover(CanvasView &canvas, QPointF at) {
  QMouseEvent event(QEvent::MouseMove, at, canvas.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&canvas, &event);
}

struct Released {
  QPointer<EditorController> controller;
  QPointer<CrelDocument> document;
  QPointer<QWidget> window;
  QPointer<CanvasView> canvas;
  bool canvasHadWindow = false;
};

// One editor from opening to closing. The editor is dropped the way its
// owner drops it: once it reports the window closed.
Released cycle(const QDir &root, Pasteboard *pasteboard) {
  std::unique_ptr<EditorController> owned =
      EditorController::open(screenshot(), CaptureSource{}, root.filePath(QStringLiteral("memory")));
  EditorController *editor = owned.release();
  QObject::connect(editor, &EditorController::closed, editor, &QObject::deleteLater);
  EditorWindow *window = editor->window();
  if (!window)
    fail(QStringLiteral("The memory test editor has no window"));
  layOut(*window);
  CanvasView *canvas = CanvasView::find(window);
  Released released{editor, &editor->document(), window, canvas, canvas && canvas->window() == window};

  if (pasteboard) {
    editor->document().commit(annotations());
    layOut(*window);
    if (canvas) {
      const geom::Rect imageRect = canvas->imageRect();
      for (int s = 0; s < 12; ++s) {
        hover(*canvas, {imageRect.minX() + 20 * s, imageRect.minY() + 15 * s});
        pumpFor(40);
      }
    }
    try {
      editor->document().copy(*pasteboard);
    } catch (const std::exception &) {
      // The pasteboard check below shows a failed copy.
    }
  }
  window->close();
  return released;
}

} // namespace

void run(const QDir &root) {
  const Released first = cycle(root, nullptr);
  pumpFor(settleMs);
  expect(first.canvasHadWindow && !first.controller && !first.document && !first.window && !first.canvas,
         QStringLiteral("Closing an editor releases its window, canvas and screenshot"));

  FakePasteboard pasteboard;
  cycle(root, &pasteboard);
  pumpFor(settleMs);
  const qint64 baseline = MemoryFootprint::read();
  for (int i = 0; i < 5; ++i) {
    cycle(root, &pasteboard);
    pumpFor(settleMs);
  }
  const qint64 growth = MemoryFootprint::read() - baseline;
  expect(growth <= allowedGrowth,
         QStringLiteral("Five annotated, copied and closed high-density screenshots return their memory (grew %1 MB)")
             .arg(growth / (1024 * 1024)));
  expect(!pasteboard.readImage().isNull() && pasteboard.clearCount == 6 &&
             pasteboard.data.keys() == QStringList{QStringLiteral("image/png")},
         QStringLiteral("Every copy writes a PNG that other applications can paste"));
}

} // namespace crel::NativeTests::MemoryTests
