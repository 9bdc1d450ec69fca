#include "StyleCanvasTests.h"

#include "Check.h"
#include "Fixtures.h"
#include "PixelProbe.h"

#include "canvas/CanvasView.h"
#include "canvas/EditorStageView.h"
#include "capture/CaptureSource.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditorSizePreferences.h"
#include "document/MarkGeometry.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"
#include "platform/clipboard/Pasteboard.h"

#include <QApplication>
#include <QColorSpace>
#include <QDateTime>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace crel::StyleCanvasTests {

using NativeTests::colorAt;
using NativeTests::expect;
using NativeTests::matches;

namespace {

Mark outsideMark(MarkTool tool, QPointF start, QPointF end, const QString &text = {}) {
  Mark mark = NativeTests::checkMark(tool, start, end, 24);
  mark.text = text;
  mark.style = AnnotationStyle::doodle;
  return mark;
}

bool neutralSurface(const QColor &c) {
  return c.redF() > 0.92 && c.redF() < 0.97 && std::abs(c.redF() - c.greenF()) < 0.005 &&
         std::abs(c.greenF() - c.blueF()) < 0.005 && c.alphaF() == 1;
}

QImage transparentFixture() {
  QImage bitmap(12, 12, QImage::Format_RGBA8888);
  if (bitmap.isNull())
    NativeTests::fail(QStringLiteral("The 12 by 12 transparent fixture could not be created"));
  bitmap.setColorSpace(QColorSpace(QColorSpace::SRgb));
  bitmap.fill(Qt::transparent);
  return bitmap;
}

// Whether `stage` paints every pixel of its own, children aside.
bool paintsOpaque(QWidget &stage) {
  QImage painted(stage.size(), QImage::Format_ARGB32_Premultiplied);
  painted.fill(Qt::transparent);
  stage.render(&painted, {}, {}, QWidget::DrawWindowBackground);
  const int right = painted.width() - 1, bottom = painted.height() - 1;
  for (const QPoint p :
       {QPoint(0, 0), QPoint(right, 0), QPoint(0, bottom), QPoint(right, bottom), QPoint(right / 2, bottom / 2)})
    if (qAlpha(painted.pixel(p)) != 255)
      return false;
  return !painted.isNull();
}

// The window manager draws and drags the title bar only for a window it
// decorates.
bool decoratedByWindowManager(const QWidget &window) {
  const Qt::WindowFlags flags = window.windowFlags();
  if (flags & (Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint))
    return false;
  return !(flags & Qt::CustomizeWindowHint) || (flags & Qt::WindowTitleHint);
}

// The title the window manager gets for a window: its own, plus the
// application's display name when one was set apart from the application
// name (what Qt's X11 windows append after an em dash).
QString shownTitle(QWidget &window) {
  window.winId();
  const QString title = window.windowHandle() ? window.windowHandle()->title() : QString();
  const QString displayName = QGuiApplication::applicationDisplayName();
  if (displayName == QCoreApplication::applicationName() || title.endsWith(displayName))
    return title;
  return title + QStringLiteral(" \u2014 ") + displayName;
}

// The grown document in a real, never-shown editor window of the shared
// size, opened while the application's palette is a dark one.
void stageChecks(std::unique_ptr<CrelDocument> owned) {
  const CrelDocument &document = *owned;
  const QPalette applicationPalette = QApplication::palette();
  QPalette dark = applicationPalette;
  dark.setColor(QPalette::Window, QColor(30, 30, 32));
  dark.setColor(QPalette::WindowText, QColor(235, 235, 235));
  QApplication::setPalette(dark);
  const struct RestorePalette {
    QPalette palette;
    ~RestorePalette() { QApplication::setPalette(palette); }
  } restore{applicationPalette};

  EditorController editor(std::move(owned), EditorSizePreferences::shared());
  EditorWindow *window = editor.window();
  auto *stage = window ? window->findChild<EditorStageView *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
  if (!stage)
    NativeTests::fail(QStringLiteral("Editor did not install its stage surface"));
  const NativeTests::HideOnExit hide(window);
  NativeTests::layOut(*window);
  CanvasView *canvas = CanvasView::find(stage);
  if (!canvas)
    NativeTests::fail(QStringLiteral("Missing editor frame"));

  expect(!window->testAttribute(Qt::WA_TranslucentBackground) && paintsOpaque(*stage),
         QStringLiteral("One opaque stage sits behind a transparent canvas, so the title bar and workspace read as "
                        "one surface"));
  // The desktop draws the title bar outside the client area, which is all ours.
  expect(stage->geometry() == window->rect(),
         QStringLiteral("The stage covers the title bar and the full outer frame"));
  expect(decoratedByWindowManager(*window) &&
             window->rect().contains(QRect(canvas->mapTo(window, QPoint(0, 0)), canvas->size())),
         QStringLiteral("The interactive canvas stays below the title bar, so window dragging keeps working"));

  const double w = canvas->width(), h = canvas->height();
  canvas->setChromeFrames({geom::Rect(12, 2, w - 24, 44), geom::Rect(12, h - 56, w - 24, 44)});
  const geom::Rect imageRect = canvas->imageRect();
  expect(imageRect.minY() >= 46 && imageRect.maxY() <= h - 56,
         QStringLiteral("Fit places the screenshot between the top and bottom controls"));
  const double scale = imageRect.width() / document.pixelSize().width();
  const double centre = imageRect.minX() + scale * document.expandedBounds(document.marks()).midX();
  expect(std::abs(centre - canvas->fitArea().midX()) < 1,
         QStringLiteral("Fit centers the whole canvas, including space added past its edges"));

  const QPalette look = window->palette();
  expect(look.color(QPalette::Window).lightnessF() > 0.5 && look.color(QPalette::WindowText).lightnessF() < 0.5,
         QStringLiteral("Editor opens in the requested light appearance independently of system dark mode"));
  const QString shown = shownTitle(*window);
  expect(!shown.isEmpty() && !shown.contains(QStringLiteral(" \u2014 ")),
         QStringLiteral("Editor title has no duplicate app-name subtitle"));
}

} // namespace

void growthChecks(const QImage &image, const QDir &root, AnnotationPreferences &preferences) {
  preferences.setStyle(AnnotationStyle::doodle);
  auto owned = std::make_unique<CrelDocument>(image, preferences);
  CrelDocument &document = *owned;
  const double W = document.pixelSize().width();
  const double H = document.pixelSize().height();
  const QByteArray bare = document.renderPNG();

  document.commit({
      outsideMark(MarkTool::arrow, {-100, 100}, {100, 100}),
      outsideMark(MarkTool::rectangle, {40, -90}, {180, 40}),
      outsideMark(MarkTool::ellipse, {W - 40, 200}, {W + 120, 320}),
      outsideMark(MarkTool::text, {100, H + 20}, {0, 0}, QStringLiteral("Room to explain")),
  });
  const geom::Rect grown = document.expandedBounds(document.marks());
  expect(grown.minX() < -100 && grown.minY() < -90 && grown.maxX() > W + 120 && grown.maxY() > H + 20,
         QStringLiteral("Annotations grow the canvas on all four edges"));
  expect(std::all_of(document.marks().cbegin(), document.marks().cend(),
                     [&](const Mark &mark) { return grown.contains(visualBounds(mark)); }),
         QStringLiteral("Expanded canvas contains thick strokes, curved heads and handwritten text"));
  const QImage exported = NativeTests::decodePNG(document.renderPNG(), QStringLiteral("The grown export"));
  expect(exported.width() == int(std::trunc(grown.width())) && exported.height() == int(std::trunc(grown.height())),
         QStringLiteral("Export dimensions include all expanded space"));

  const auto color = [&](double x, double y) { return colorAt(exported, grown, x, y); };
  const QImage original = NativeTests::decodePNG(bare, QStringLiteral("The unannotated export"));
  const QColor top = colorAt(original, 500, 20);
  const QColor bottom = colorAt(original, 500, int(std::trunc(H - 20)));
  const QList<QPointF> probes{{500, -20},       {500, H + 10}, {-20, 20},     {-20, H - 20}, {W + 20, 20},
                              {W + 20, H - 20}, {-20, -20},    {W + 20, -20}, {-20, H + 10}, {W + 20, H + 10}};
  expect(std::all_of(probes.cbegin(), probes.cend(), [&](QPointF p) { return neutralSurface(color(p.x(), p.y())); }),
         QStringLiteral("Every extended edge and corner uses the same opaque neutral surface despite different source "
                        "edge colors"));
  // The surface's spread is read where the column x = -20 shows surface: it
  // crosses the left arrow, whose Coral red (0.92) is no grain at all.
  {
    double lowest = 1, highest = 0;
    int read = 0;
    for (int y = 0; y < int(std::trunc(H)); ++y) {
      const bool underMark = std::any_of(document.marks().cbegin(), document.marks().cend(), [&](const Mark &mark) {
        return visualBounds(mark).insetBy(-2, -2).contains(QPointF(-20, y));
      });
      if (underMark)
        continue;
      const double red = color(-20, y).redF();
      lowest = std::min(lowest, red);
      highest = std::max(highest, red);
      ++read;
    }
    expect(read > 0 && highest - lowest > 0 && highest - lowest < 0.02,
           QStringLiteral("The surface has only subtle grain, with no stretched source-color bands"));
  }
  expect(document.renderPNG() == document.renderPNG(),
         QStringLiteral("Repeated export preserves identical grain pixels"));

  QList<Mark> shifted = document.marks();
  shifted[0] = moved(shifted[0], -80, -160);
  document.commit(shifted);
  const geom::Rect further = document.expandedBounds(document.marks());
  const QImage grownFurther = NativeTests::decodePNG(document.renderPNG(), QStringLiteral("The further grown export"));
  bool anchored = true;
  for (int y = 0; y < int(std::trunc(H)) && anchored; ++y)
    anchored = matches(color(W + 20, y), colorAt(grownFurther, further, W + 20, y));
  expect(anchored, QStringLiteral("Growing the top and left leaves existing grain anchored to the screenshot"));
  document.undo();
  expect(matches(color(500, 20), top) && matches(color(500, H - 20), bottom),
         QStringLiteral("Source pixels retain their original orientation and colors inside the extension"));

  CrelDocument transparent(transparentFixture(), preferences);
  Mark line = NativeTests::checkMark(MarkTool::line, {-40, -30}, {45, -30}, 6);
  transparent.commit({line});
  const geom::Rect transparentBounds = transparent.expandedBounds(transparent.marks());
  const QImage transparentExport =
      NativeTests::decodePNG(transparent.renderPNG(), QStringLiteral("The transparent document's export"));
  expect(colorAt(transparentExport, transparentBounds, 6, 6).alpha() == 0,
         QStringLiteral("The extended surface preserves transparent pixels inside an imported image"));

  FakePasteboard pasteboard;
  document.copy(pasteboard);
  const QByteArray copied = pasteboard.read(QStringLiteral("image/png"));
  if (copied.isEmpty())
    NativeTests::fail(QStringLiteral("The pasteboard holds no PNG data after copying the grown canvas"));
  const QImage clipboard = NativeTests::decodePNG(copied, QStringLiteral("The copied grown canvas"));
  expect(clipboard.size() == exported.size(), QStringLiteral("Clipboard includes the expanded canvas"));

  document.enableAutosave(root.path(), CaptureSource{}.filenameStem(QDateTime::currentDateTime()));
  const UpdateSnapshot snapshot = document.snapshotForUpdate();
  const QString checkpointFile = snapshot.savedURL.toLocalFile();
  NativeTests::writeFile(checkpointFile, bare);
  const std::unique_ptr<CrelDocument> restored = CrelDocument::restoreAfterUpdate(snapshot, preferences);
  expect(restored->expandedBounds(restored->marks()) == grown && restored->annotationStyle() == AnnotationStyle::doodle,
         QStringLiteral("Expanded canvas and style survive update recovery"));
  const QByteArray restoredExport = restored->renderPNG();
  const QByteArray documentExport = document.renderPNG();
  expect(NativeTests::readFile(checkpointFile) == restoredExport && !restored->isDirty(),
         QStringLiteral("Update recovery saves the current renderer's pixels before declaring the crel saved"));
  expect(restoredExport == documentExport, QStringLiteral("Restored extension exports the same pixels"));

  document.undo();
  expect(document.expandedBounds(document.marks()).origin() == QPointF(0, 0) && document.renderPNG() == bare,
         QStringLiteral("Undoing outside marks returns the exact original canvas"));
  document.redo();
  expect(document.expandedBounds(document.marks()) == grown, QStringLiteral("Redo restores canvas expansion"));
  stageChecks(std::move(owned));
}

} // namespace crel::StyleCanvasTests
