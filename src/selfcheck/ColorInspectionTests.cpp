#include "ColorInspectionTests.h"

#include "CanvasEvents.h"
#include "CanvasWindow.h"
#include "Check.h"
#include "Fixtures.h"
#include "IsolatedSettings.h"
#include "PixelProbe.h"

#include "canvas/CanvasInteraction.h"
#include "canvas/CanvasView.h"
#include "canvas/ColorInspection.h"
#include "canvas/ColorSampling.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/MarkGeometry.h"
#include "platform/clipboard/Pasteboard.h"

#include <QApplication>
#include <QColorSpace>
#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>

#include <cmath>
#include <numbers>

namespace crel::ColorInspectionTests {

using NativeTests::expect;
using NativeTests::fail;

namespace {

// 120 x 80: #336699, a red block at the top left, and at the bottom right a
// transparent block whose left half is half-transparent red.
QImage fixture() {
  QImage image(120, 80, QImage::Format_RGBA8888_Premultiplied);
  if (image.isNull())
    fail(QStringLiteral("The colour fixture could not be made"));
  image.setColorSpace(QColorSpace(QColorSpace::SRgb));
  image.fill(QColor(0x33, 0x66, 0x99));
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 120; ++x) {
      if (x < 30 && y < 20)
        image.setPixel(x, y, qRgba(255, 0, 0, 255));
      else if (x >= 90 && y >= 60)
        image.setPixel(x, y, x < 105 ? qPremultiply(qRgba(255, 0, 0, 128)) : qRgba(0, 0, 0, 0));
    }
  }
  return image;
}

Mark plainMark(MarkTool tool, QPointF start, QPointF end, const Ink &ink, double width) {
  Mark mark = NativeTests::checkMark(tool, start, end, width);
  mark.ink = ink;
  return mark;
}

std::optional<QString> hexOf(const std::optional<PixelColor> &color) {
  return color ? std::optional<QString>(color->hex()) : std::nullopt;
}

void documentChecks(CrelDocument &document) {
  expect(hexOf(document.pixelColor({60, 40})) == QStringLiteral("#336699"),
         QStringLiteral("Color inspection reads exact sRGB source bytes"));
  expect(hexOf(document.pixelColor({0.1, 0.1})) == QStringLiteral("#FF0000"),
         QStringLiteral("Pixel sampling uses the screenshot's top-left origin"));
  expect(hexOf(document.pixelColor({95, 70})) == QStringLiteral("#FF000080"),
         QStringLiteral("Translucent pixels use straight RGB plus alpha, not darkened premultiplied RGB"));
  expect(hexOf(document.pixelColor({119.9, 79.9})) == QStringLiteral("#00000000"),
         QStringLiteral("Fully transparent pixels retain zero alpha"));
  expect(!document.pixelColor({-0.01, 1}) && !document.pixelColor({120, 1}) && !document.pixelColor({1, 80}),
         QStringLiteral("The stage and exclusive image edges are not reported as image colors"));
}

// The canvas's copies go to a private pasteboard while this lives.
class PrivatePasteboard {
public:
  PrivatePasteboard() : previous_(Pasteboard::general()) { Pasteboard::overrideGeneral(&board); }
  ~PrivatePasteboard() { Pasteboard::overrideGeneral(&previous_); }
  PrivatePasteboard(const PrivatePasteboard &) = delete;
  PrivatePasteboard &operator=(const PrivatePasteboard &) = delete;
  FakePasteboard board;

private:
  Pasteboard &previous_;
};

class ActiveWindow {
public:
  explicit ActiveWindow(QWidget &window) { QApplication::setActiveWindow(&window); }
  ~ActiveWindow() { QApplication::setActiveWindow(nullptr); }
  ActiveWindow(const ActiveWindow &) = delete;
  ActiveWindow &operator=(const ActiveWindow &) = delete;
};

struct Rig {
  CrelDocument &document;
  CanvasView &canvas;
  QWidget &window;
  NativeTests::CanvasEvents events{canvas};
  FakePasteboard &board;

  std::optional<QString> readout() const { return hexOf(canvas.colorInspection().sample()); }
  // Until the due read has happened, however slow the machine.
  void settle() const {
    if (!NativeTests::pumpUntil([this] { return !canvas.colorSampling().pending(); }, 5000, 5))
      fail(QStringLiteral("The pointer's colour was never read"));
  }
  // Until a document change, which reaches the canvas on a queued call, has
  // shown `hex` (or the deadline passed: the check after it then fails).
  void settleOn(const QString &hex) const {
    NativeTests::pumpUntil([&] { return readout() == hex; }, 5000, 5);
  }
  // A real pointer move with no button down, as the window system sends it.
  void hover(QPointF image) {
    events.hover(image);
    settle();
  }
  void hoverView(QPointF view) {
    QMouseEvent move(QEvent::MouseMove, view, canvas.mapToGlobal(view), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&canvas, &move);
    settle();
  }
};

void canvasChecks(Rig &rig, const Mark &redaction) {
  CrelDocument &document = rig.document;
  CanvasView &canvas = rig.canvas;
  rig.hover({60, 40});
  expect(rig.readout() == QStringLiteral("#336699") && !rig.board.text && document.history().isEmpty(),
         QStringLiteral("Hover displays a color without editing the document or touching the clipboard"));

  canvas.setZoom(2.0, rig.events.viewPoint({10, 10}));
  document.setPan({document.pan().width() + 20, document.pan().height()});
  document.setPan({document.pan().width(), document.pan().height() - 12});
  rig.hover({10, 10});
  expect(rig.readout() == QStringLiteral("#FF0000"),
         QStringLiteral("Hover maps through zoom and pan to native image pixels"));

  canvas.setZoom(1.0);
  const qsizetype steps = document.history().size();
  rig.events.down({60, 40}, Qt::AltModifier);
  rig.events.dragged({70, 40}, Qt::AltModifier);
  rig.events.up({70, 40}, Qt::AltModifier);
  expect(rig.board.text == QStringLiteral("#336699") &&
             canvas.colorInspection().copiedHex() == QStringLiteral("#336699") && document.marks().isEmpty() &&
             document.history().size() == steps,
         QStringLiteral("Alt-click copies hex and consumes the gesture without an accidental annotation"));
  expect(canvas.window() == &rig.window && document.tool() == MarkTool::arrow,
         QStringLiteral("Copying a color keeps the editor and active tool intact"));

  rig.hover({-3, 10});
  expect(!rig.readout(), QStringLiteral("Hover readout disappears outside the image"));
  rig.hover({10, 10});
  if (!rig.readout())
    fail(QStringLiteral("No readout was shown before the pointer left the canvas"));
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(&canvas, &leave);
  expect(!rig.readout(), QStringLiteral("Leaving the canvas clears its readout"));

  const QPointF centre = canvas.imageRect().center();
  canvas.setChromeFrames({geom::Rect(centre.x() - 20, centre.y() - 20, 40, 40)});
  rig.hoverView(centre);
  expect(!rig.readout() && !canvas.interaction().contextMenu(centre),
         QStringLiteral("Floating editor controls never sample the hidden pixels beneath them"));
  canvas.setChromeFrames({});

  rig.hover({60, 40});
  document.commit({redaction});
  rig.settleOn(QStringLiteral("#000000"));
  expect(rig.readout() == QStringLiteral("#000000"),
         QStringLiteral("An edit refreshes the stationary pointer and never reveals pixels beneath redaction"));

  const std::unique_ptr<QMenu> menu = canvas.interaction().contextMenu(rig.events.viewPoint({60, 40}));
  if (!menu || menu->actions().isEmpty())
    fail(QStringLiteral("The right-click menu has no first item"));
  QAction *item = menu->actions().first();
  expect(item->text() == QStringLiteral("Copy Color #000000"),
         QStringLiteral("The right-click menu exposes the exact sampled color"));
  document.undo();
  rig.settleOn(QStringLiteral("#336699"));
  expect(rig.readout() == QStringLiteral("#336699"), QStringLiteral("Undo invalidates the inspected color"));
  item->trigger();
  expect(rig.board.text == QStringLiteral("#000000"),
         QStringLiteral("A context-menu action copies the pixel chosen when the menu opened"));

  document.redo();
  document.selectMark(redaction, false);
  rig.events.down({60, 40}, Qt::AltModifier);
  rig.events.up({60, 40}, Qt::AltModifier);
  expect(document.selection() == redaction.id && document.marks() == QList<Mark>{redaction},
         QStringLiteral("Alt-click preserves the selected annotation"));
}

QString channels(const QList<int> &list) {
  QStringList parts;
  for (const int value : list)
    parts.append(QString::number(value));
  return u'[' + parts.join(QStringLiteral(", ")) + u']';
}

void exportAgreementCheck(CrelDocument &document, const Mark &redaction) {
  const Mark line =
      rotated(plainMark(MarkTool::line, {-12, 16}, {90, 16}, NativeTests::paletteInk(1), 6), std::numbers::pi / 12);
  Mark highlight = plainMark(MarkTool::highlight, {0, 0}, {38, 38}, Ink{QStringLiteral("Lemon"), 1.0, 0.88, 0.05}, 12);
  highlight.highlightMode = HighlightMode::area;
  highlight.opacity = 0.35;
  Mark blur = plainMark(MarkTool::blur, {15, 5}, {45, 35}, NativeTests::paletteInk(0), 12);
  blur.blurEffect = BlurEffect::blur;
  blur.blurStrength = 8;
  document.commit({line, highlight, blur, redaction});
  const QImage exported = NativeTests::decodePNG(document.renderPNG(), QStringLiteral("The colour inspection export"));
  const geom::Rect b = document.expandedBounds(document.marks());
  const int minX = int(b.minX());
  const int minY = int(b.minY());
  QString mismatch;
  for (int y = minY + 1; y < int(b.maxY()); y += 5) {
    for (int x = minX + 1; x < int(b.maxX()); x += 5) {
      const std::optional<PixelColor> sampled = document.pixelColor(QPointF(x, y));
      if (!sampled)
        fail(QStringLiteral("No colour was sampled at (%1, %2) of the grown canvas").arg(x).arg(y));
      const QColor png = NativeTests::colorAt(exported, x - minX, y - minY);
      const QList<int> a{sampled->red, sampled->green, sampled->blue, sampled->alpha};
      const QList<int> p{int(std::round(png.redF() * 255)), int(std::round(png.greenF() * 255)),
                         int(std::round(png.blueF() * 255)), int(std::round(png.alphaF() * 255))};
      bool differs = false;
      for (int i = 0; i < 4; ++i)
        differs = differs || std::abs(a[i] - p[i]) > 1;
      if (differs && mismatch.isEmpty())
        mismatch =
            QStringLiteral("at (%1, %2): sampled %3, PNG %4, profile %5")
                .arg(x)
                .arg(y)
                .arg(channels(a), channels(p),
                     exported.colorSpace().isValid() ? exported.colorSpace().description() : QStringLiteral("none"));
    }
  }
  const QString message = QStringLiteral(
      "Inspected pixels match exported PNG across rotated marks, highlight, blur, redaction and extended canvas");
  expect(mismatch.isEmpty(), mismatch.isEmpty() ? message : message + QStringLiteral(": ") + mismatch);
}

} // namespace

void run(const QDir &root) {
  NativeTests::IsolatedSettings settings(root.path(), QStringLiteral("color-inspection-tests-"));
  AnnotationPreferences preferences(settings.store());
  CrelDocument document(fixture(), preferences);
  documentChecks(document);

  PrivatePasteboard pasteboard;
  NativeTests::CanvasWindow host(document, 800, 620);
  Rig rig{document, host.canvas(), host.window(), NativeTests::CanvasEvents(host.canvas()), pasteboard.board};
  // Hover follows the pointer only in the active window; the window stays
  // hidden, so no focus is taken from the user's own windows.
  ActiveWindow active(host.window());

  const Mark redaction = plainMark(MarkTool::redact, {40, 20}, {80, 60}, NativeTests::paletteInk(0), 12);
  canvasChecks(rig, redaction);
  exportAgreementCheck(document, redaction);
}

} // namespace crel::ColorInspectionTests
