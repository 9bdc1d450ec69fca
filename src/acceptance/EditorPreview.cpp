#include "EditorPreview.h"

#include "PreviewDomain.h"
#include "PreviewPng.h"
#include "PreviewRects.h"

#include "canvas/CanvasView.h"
#include "canvas/ColorInspection.h"
#include "chrome/ChromeFonts.h"
#include "chrome/LightPalette.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditorSizePreferences.h"
#include "document/MarkGeometry.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"
#include "editor/GlassSurface.h"
#include "platform/files/AtomicFileWriter.h"
#include "selfcheck/Failure.h"
#include "selfcheck/Fixtures.h"
#include "selfcheck/TextRecognitionFixture.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <numbers>

namespace crel::EditorPreview {

namespace {

using NativeTests::Failure;

const QString windowTitle = QStringLiteral("Project review with a longer screenshot filename.png");

// Undoes the run's process-wide switch however the run ends.
struct PreviewFlag {
  PreviewFlag() { GlassSurface::setPreviewRendering(true); }
  ~PreviewFlag() { GlassSurface::setPreviewRendering(false); }
};

QImage arrowFixture() {
  QImage image(900, 540, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull())
    throw Failure(QStringLiteral("Could not render editor fixture"));
  image.fill(Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // Laid out from the bottom edge up: each y is a baseline's distance from it.
  p.setFont(ChromeFonts::font(38, QFont::DemiBold));
  p.setPen(Qt::black);
  p.drawText(QPointF(70, 540 - 390), QStringLiteral("Screenshot preview"));
  p.setFont(ChromeFonts::font(23));
  p.setPen(Qt::darkGray);
  p.drawText(QPointF(70, 540 - 340), QStringLiteral("A clear image, with room to make your point."));
  QPainterPath box;
  box.addRoundedRect(QRectF(70, 540 - 90 - 190, 760, 190), 12, 12);
  p.fillPath(box, QColor::fromRgbF(0.75f, 0.75f, 0.75f, 0.2f));
  return image;
}

Mark sceneMark(MarkTool tool, QPointF start, QPointF end, const Ink &ink, double width) {
  Mark m;
  m.id = QUuid::createUuid();
  m.tool = tool;
  m.start = start;
  m.end = end;
  m.ink = ink;
  m.width = width;
  m.fontSize = 40;
  m.textBoxWidth = 320;
  return m;
}

QList<RecognizedWord> firstTwoLines(CrelDocument &document) {
  QDeadlineTimer deadline(15000);
  while (document.recognizing() && !deadline.hasExpired())
    NativeTests::pumpFor(20);
  QList<RecognizedWord> words;
  for (const RecognizedWord &w : document.recognizedText().words)
    if (w.line == 0 || w.line == 1)
      words.append(w);
  return words;
}

void prepare(CrelDocument &document, const QString &scene) {
  const Ink &coral = NativeTests::paletteInk(0), &blue = NativeTests::paletteInk(1);
  const auto formal = [](Mark m) {
    m.style = AnnotationStyle::formal;
    return m;
  };
  if (scene == u"arrow")
    document.commit({formal(sceneMark(MarkTool::arrow, {740, 430}, {580, 285}, blue, 32)),
                     formal(sceneMark(MarkTool::arrow, {160, 350}, {430, 310}, coral, 32))});
  QList<RecognizedWord> words;
  if (scene == u"smart" || scene == u"marker" || scene == u"redact" || scene == u"extract") {
    document.selectTool(scene == u"redact"    ? MarkTool::redact
                        : scene == u"extract" ? MarkTool::extract
                                              : MarkTool::highlight);
    document.setHighlightMode(scene == u"marker" ? HighlightMode::marker : HighlightMode::text);
    words = firstTwoLines(document);
  }
  if (scene == u"smart") {
    Mark m = sceneMark(MarkTool::highlight, {0, 0}, {0, 0}, Ink{QStringLiteral("Lemon"), 1.0, 0.88, 0.05}, 24);
    m.highlightMode = HighlightMode::text;
    m.regions = RecognizedText::rectangles(words);
    m.opacity = 0.35;
    document.commit({m});
  }
  if (scene == u"extract")
    document.setSelectedWords(words);
  if (scene == u"select")
    document.selectTool(MarkTool::select);
  if (scene == u"rotation") {
    const Mark box = rotated(sceneMark(MarkTool::rectangle, {90, 150}, {500, 250}, blue, 12), std::numbers::pi / 12);
    Mark text = sceneMark(MarkTool::text, {620, 230}, {0, 0}, coral, 12);
    text.text = QStringLiteral("Look here");
    text.textBoxWidth = 250;
    document.commit({box, rotated(text, -std::numbers::pi / 12)});
    document.selectMark(box, false);
  }
  if (scene == u"shapes") {
    document.selectTool(MarkTool::rectangle);
    Mark step = sceneMark(MarkTool::step, {560, 90}, {560, 90}, blue, 40);
    step.number = 1;
    Mark text = formal(sceneMark(MarkTool::text, {600, 72}, {0, 0}, blue, 6));
    text.text = QStringLiteral("Start here");
    text.fontSize = 28;
    text.textBoxWidth = 220;
    document.commit({formal(sceneMark(MarkTool::rectangle, {60, 40}, {330, 150}, coral, 6)),
                     formal(sceneMark(MarkTool::ellipse, {360, 60}, {520, 170}, blue, 6)), step, text});
  }
  if (scene == u"text")
    document.selectTool(MarkTool::text);
  if (scene == u"blur") {
    document.selectTool(MarkTool::blur);
    Mark blur = sceneMark(MarkTool::blur, {45, 95}, {440, 145}, coral, 12);
    blur.blurEffect = BlurEffect::blur;
    blur.blurStrength = 16;
    document.commit({blur});
    document.selectMark(blur, true);
  }
  if (scene == u"step")
    document.selectTool(MarkTool::step);
  if (scene == u"selection" || scene == u"color") {
    const Mark arrow = sceneMark(MarkTool::arrow, {140, 280}, {300, 180}, coral, 12);
    document.commit({arrow});
    document.selectMark(arrow, false);
  }
}

// A hover over image pixel (140, 280) must leave a colour sample.
void checkColorInspection(QWidget &window, CrelDocument &document) {
  CanvasView *canvas = CanvasView::find(&window);
  if (!canvas)
    return;
  const geom::Rect image = canvas->imageRect();
  const double s = image.width() / document.pixelSize().width();
  const QPointF at(image.minX() + 140 * s, image.minY() + 280 * s);
  // The canvas follows a hovering pointer only in the active window.
  QApplication::setActiveWindow(&window);
  QMouseEvent move(QEvent::MouseMove, at, canvas->mapTo(&window, at), canvas->mapToGlobal(at), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(canvas, &move);
  NativeTests::pumpFor(150);
  const QString check = QStringLiteral("Preview displays the color from a real canvas hover");
  if (!canvas->colorInspection().sample())
    throw Failure(check);
  std::printf("PASS: %s\n", qPrintable(check));
  std::fflush(stdout);
}

QImage rasterize(QWidget &window) {
  const QImage image = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  if (image.isNull())
    throw Failure(QStringLiteral("Could not rasterize editor frame"));
  if (!(image.pixelColor(image.width() / 2, image.height() / 2).alphaF() > 0.9f))
    throw Failure(QStringLiteral("Editor raster is transparent; the compositor did not render the document"));
  return image;
}

} // namespace

void render(const QString &folder, Options options) {
  if (!QDir().mkpath(folder))
    throw std::runtime_error(QStringLiteral("Could not create the folder %1.").arg(folder).toStdString());
  PreviewFlag flag;
  PreviewDomain domain(QStringLiteral("editor-preview-"));
  const QImage arrowImage = arrowFixture();
  EditorSizePreferences sizes(domain.store());
  QList<EditorSize> sizeList{sizes.size()};
  if (!options.quick) {
    const auto all = allCases<EditorSize>();
    sizeList = QList<EditorSize>(all.begin(), all.end());
  }
  QStringList scenes = {"arrow",  "select", "selection", "rotation", "text",   "step",
                        "shapes", "smart",  "marker",    "blur",     "redact", "extract"};
  if (options.quick)
    scenes = {"arrow", "blur", "rotation"};
  if (options.colorInspection)
    scenes = {"color"};
  const QDir out(folder);
  for (const EditorSize size : sizeList) {
    for (const QString &scene : scenes) {
      sizes.setSize(size);
      const QImage image = scene == u"arrow" ? arrowImage : TextRecognitionFixture::page();
      AnnotationPreferences preferences(domain.store());
      auto document = std::make_unique<CrelDocument>(image, preferences);
      prepare(*document, scene);
      const QString suffix = scene + QStringLiteral("-light-") + rawValue(size) + QStringLiteral(".png");
      document->save(out.filePath(QStringLiteral("fixture-") + suffix));

      EditorController editor(std::move(document), sizes);
      EditorWindow *window = editor.window();
      if (!window)
        throw Failure(QStringLiteral("Could not render editor window frame"));
      window->setAttribute(Qt::WA_DontShowOnScreen);
      LightPalette::apply(window);
      editor.present();
      window->setWindowTitle(windowTitle);
      NativeTests::pumpFor(500);
      if (options.colorInspection)
        checkColorInspection(*window, editor.document());
      const QImage frame = rasterize(*window);
      AtomicFileWriter::write(out.filePath(QStringLiteral("editor-") + suffix),
                              PreviewPng::encode(frame, QStringLiteral("Could not encode editor frame")));

      const CanvasView *canvas = CanvasView::find(window);
      const QRectF canvasFrame = canvas ? QRectF(canvas->mapTo(window, QPoint(0, 0)), canvas->size()) : QRectF();
      std::printf("Rendered editor %s light %s: frame=%s, content=%s, canvas=%s\n", qPrintable(scene),
                  qPrintable(rawValue(size)), qPrintable(PreviewRects::text(QRectF(window->rect()))),
                  qPrintable(PreviewRects::text(QRectF(window->contentsRect()))),
                  qPrintable(PreviewRects::text(canvasFrame)));
      std::fflush(stdout);
      window->hide();
    }
  }
}

} // namespace crel::EditorPreview
