// crel-canvas <image> [marks.json] [options]: the annotation canvas in a
// plain window over the editor stage, for looking at it by eye.
//   --demo             add a few sample marks (one blur among them)
//   --select N         select mark N (0-based) with the select tool
//   --zoom Z           zoom about the view's centre
//   --draft            show a rectangle being drawn past the right edge
//   --chrome           lay two bars over the canvas, as the editor does
//   --size WxH         window size (default 1120x780)
//   --screenshot F     after showing, save the whole screen to F and quit
//   --trace            print each commit, selection and tool change, and
//                      each copied colour, on standard output

#include "canvas/CanvasInteraction.h"
#include "canvas/CanvasView.h"
#include "canvas/EditorStageView.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "platform/Pasteboard.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QImageReader>
#include <QJsonDocument>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace crel;

namespace {

Mark mark(MarkTool tool, QPointF start, QPointF end, int ink) {
  Mark m;
  m.id = QUuid::createUuid();
  m.tool = tool;
  m.start = start;
  m.end = end;
  m.ink = Ink::palette()[ink];
  m.width = AnnotationPreferences::defaultWidth(tool);
  m.style = AnnotationStyle::formal;
  return m;
}

QList<Mark> demoMarks(QSize size) {
  const double w = size.width(), h = size.height();
  QList<Mark> marks;
  marks.append(mark(MarkTool::arrow, {w * 0.15, h * 0.8}, {w * 0.4, h * 0.5}, 0));
  marks.append(mark(MarkTool::rectangle, {w * 0.45, h * 0.2}, {w * 0.75, h * 0.45}, 1));
  Mark blur = mark(MarkTool::blur, {w * 0.55, h * 0.6}, {w * 0.85, h * 0.85}, 0);
  blur.blurEffect = BlurEffect::blur;
  blur.blurStrength = 16;
  marks.append(blur);
  Mark text = mark(MarkTool::text, {w * 0.08, h * 0.1}, {w * 0.08, h * 0.1}, 0);
  text.text = "Look here";
  text.fontSize = std::max(24.0, h * 0.05);
  text.textBoxWidth = w * 0.3;
  marks.append(text);
  Mark step = mark(MarkTool::step, {w * 0.8, h * 0.12}, {w * 0.8, h * 0.12}, 2);
  step.number = 1;
  step.width = std::max(32.0, h * 0.06);
  marks.append(step);
  Mark tilted = mark(MarkTool::ellipse, {w * 0.25, h * 0.25}, {w * 0.4, h * 0.38}, 3);
  tilted.rotation = 0.35;
  marks.append(tilted);
  return marks;
}

} // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("CREL_BUNDLE_DIR"))
    qputenv("CREL_BUNDLE_DIR", CREL_CANVAS_BUNDLE_DIR);
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.addPositionalArgument("image", "The screenshot to show.");
  parser.addPositionalArgument("marks", "A JSON list of marks.", "[marks.json]");
  const QCommandLineOption demo("demo"), draft("draft"), chrome("chrome"), trace("trace");
  const QCommandLineOption select("select", "Select mark N.", "N"), zoom("zoom", "Zoom.", "Z");
  const QCommandLineOption size("size", "Window size.", "WxH", "1120x780");
  const QCommandLineOption screenshot("screenshot", "Save the screen and quit.", "file");
  parser.addOptions({demo, draft, chrome, select, zoom, size, screenshot, trace});
  parser.addHelpOption();
  parser.process(app);
  const QStringList args = parser.positionalArguments();
  if (args.isEmpty())
    parser.showHelp(2);

  QImageReader reader(args[0]);
  reader.setAutoTransform(true);
  QImageReader::setAllocationLimit(2048);
  const QImage image = reader.read();
  if (image.isNull()) {
    std::fprintf(stderr, "crel-canvas: cannot read %s: %s\n", qPrintable(args[0]), qPrintable(reader.errorString()));
    return 1;
  }

  QTemporaryDir settingsDir;
  SettingsStore store(settingsDir.filePath("settings.ini"));
  AnnotationPreferences preferences(store);
  CrelDocument document(image, preferences);

  QList<Mark> marks;
  if (args.size() > 1) {
    QFile file(args[1]);
    if (!file.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "crel-canvas: cannot open %s\n", qPrintable(args[1]));
      return 1;
    }
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(file.readAll(), &error);
    try {
      if (error.error != QJsonParseError::NoError)
        throw std::runtime_error(error.errorString().toStdString());
      marks = Mark::decodeList(json.array());
    } catch (const std::exception &e) {
      std::fprintf(stderr, "crel-canvas: %s is not a list of marks: %s\n", qPrintable(args[1]), e.what());
      return 1;
    }
  }
  if (parser.isSet(demo))
    marks += demoMarks(image.size());
  document.commit(marks);

  auto *canvas = new CanvasView(document);
  // Alt-click and the context menu copy the colour's hex text.
  canvas->interaction().hooks().copyColor = [&](const PixelColor &color) {
    Pasteboard::general().clear();
    Pasteboard::general().writeText(color.hex());
    if (parser.isSet(trace))
      std::printf("copied %s\n", qPrintable(color.hex()));
  };
  if (parser.isSet(trace)) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    QObject::connect(&document, &CrelDocument::historyChanged, [&] {
      std::printf("commit: %lld marks, %lld undo steps\n", (long long)document.marks().size(),
                  (long long)document.history().size());
    });
    QObject::connect(&document, &CrelDocument::selectionChanged, [&] {
      const Mark *m = document.selectedMark();
      std::printf("selection: %s\n", m ? qPrintable(rawValue(m->tool)) : "none");
    });
    QObject::connect(&document, &CrelDocument::toolChanged,
                     [&] { std::printf("tool: %s\n", qPrintable(rawValue(document.tool()))); });
    QObject::connect(&document, &CrelDocument::marksChanged, [&] {
      for (const Mark &m : document.marks())
        std::printf("  %s (%g,%g)-(%g,%g) rotation %g\n", qPrintable(rawValue(m.tool)), m.start.x(), m.start.y(),
                    m.end.x(), m.end.y(), m.rotation.value_or(0));
    });
    QObject::connect(&document, &CrelDocument::panChanged,
                     [&] { std::printf("pan: %g,%g\n", document.pan().width(), document.pan().height()); });
  }
  EditorStageView window(canvas);
  const QStringList wh = parser.value(size).split('x');
  window.resize(wh.value(0).toInt() > 0 ? wh[0].toInt() : 1120, wh.value(1).toInt() > 0 ? wh[1].toInt() : 780);
  window.setWindowTitle("crel-canvas");
  window.show();

  if (parser.isSet(chrome)) {
    const double w = window.width(), h = window.height();
    canvas->setChromeFrames({geom::Rect(w / 2 - 300, 12, 600, 48), geom::Rect(w / 2 - 200, h - 60, 400, 48)});
  }
  if (parser.isSet(select)) {
    const int index = parser.value(select).toInt();
    if (index >= 0 && index < document.marks().size()) {
      document.setTool(MarkTool::select);
      document.setSelection(document.marks()[index].id);
    }
  }
  if (parser.isSet(zoom))
    canvas->setZoom(parser.value(zoom).toDouble());
  if (parser.isSet(draft)) {
    const QSize s = image.size();
    Mark m = mark(MarkTool::rectangle, {s.width() * 0.8, s.height() * 0.3}, {s.width() * 1.1, s.height() * 0.5}, 0);
    canvas->setDraft(m);
  }

  if (parser.isSet(trace)) {
    // Where image pixel (0, 0) lies on the screen, for scripts that drive the pointer.
    // Printed again whenever a change moves the image (marks past its edge grow the canvas).
    auto printed = std::make_shared<QString>();
    const auto printImage = [canvas, printed] {
      const geom::Rect r = canvas->imageRect();
      const QPointF origin = canvas->mapToGlobal(QPointF(r.minX(), r.minY()));
      const QString line = QString("image: %1 %2 scale %3").arg(origin.x()).arg(origin.y()).arg(canvas->scale());
      if (line != *printed)
        std::printf("%s\n", qPrintable(*printed = line));
    };
    QTimer::singleShot(500, canvas, printImage);
    QObject::connect(canvas, &CanvasView::refreshed, canvas, printImage);
  }
  if (parser.isSet(screenshot)) {
    QTimer::singleShot(800, &app, [&] {
      const QPixmap shot = window.screen()->grabWindow(0);
      if (!shot.save(parser.value(screenshot))) {
        std::fprintf(stderr, "crel-canvas: cannot save %s\n", qPrintable(parser.value(screenshot)));
        app.exit(1);
        return;
      }
      app.quit();
    });
  }
  return app.exec();
}
