// crel-editor <image> [marks.json] [options]: a real editor window on an
// image file, for trying it by hand and for scripted walkthroughs.
//   --demo             add a few sample marks (one blur among them)
//   --select N         select mark N (0-based) with the select tool
//   --zoom Z           zoom about the view's centre
//   --draft            show a rectangle being drawn past the right edge
//   --size SIZE        compact, regular or large (default large)
//   --folder DIR       save the image into DIR at once and after every change
//   --screenshot F     after showing, save the whole screen to F and quit
//   --trace            print each commit, selection and tool change, and
//                      each copied colour, on standard output
// crel-editor --skeletons DIR [image]: writes editor_skeleton_{compact,
// regular,large}.png of an editor (on a generated 1280x720 screenshot when
// no image is given), headless, and quits.
// crel-editor --full DIR [--scale N] [image]: writes editor_full_800.png and
// editor_full_1120.png (a saved editor at the compact and large sizes) and
// status_fallbacks.png (the status group at narrowing widths, then after a
// failed save), at N device pixels per point, headless, and quits.

#include "../ToolUsage.h"

#include "canvas/CanvasInteraction.h"
#include "canvas/CanvasView.h"
#include "capture/CaptureSource.h"
#include "editor/AdaptiveStack.h"
#include "editor/BarGroup.h"
#include "editor/EditorController.h"
#include "editor/EditorView.h"
#include "editor/EditorWindow.h"
#include "editor/GlassSurface.h"
#include "editor/StatusGroup.h"

#include "chrome/ChromeColors.h"
#include "chrome/ChromeFonts.h"
#include "chrome/LightPalette.h"
#include "chrome/Motion.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "document/EditorSizePreferences.h"
#include "platform/base/OffscreenScreen.h"
#include "platform/clipboard/Pasteboard.h"
#include "platform/files/SettingsStore.h"
#include "platform/image/ImageDecoder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QPainter>
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

// A screenshot-like picture: a title bar, a sidebar, text lines and a chart.
QImage generatedScreenshot() {
  QImage image(1280, 720, QImage::Format_ARGB32_Premultiplied);
  image.fill(QColor(246, 247, 249));
  QPainter p(&image);
  p.fillRect(QRect(0, 0, 1280, 44), QColor(226, 230, 236));
  p.fillRect(QRect(0, 44, 240, 676), QColor(236, 239, 243));
  p.setPen(QColor(60, 64, 72));
  QFont font("DejaVu Sans");
  font.setPixelSize(15);
  p.setFont(font);
  for (int i = 0; i < 12; ++i)
    p.drawText(QPointF(24, 84 + i * 34), QString("Folder %1").arg(i + 1));
  for (int i = 0; i < 9; ++i)
    p.drawText(QPointF(280, 92 + i * 30), "Quarterly revenue grew in every region except the north-west.");
  const QColor bars[] = {QColor(90, 140, 220), QColor(240, 150, 80), QColor(110, 190, 130)};
  for (int i = 0; i < 9; ++i)
    p.fillRect(QRect(300 + i * 90, 680 - (60 + (i * 37) % 200), 60, 60 + (i * 37) % 200), bars[i % 3]);
  return image;
}

// Draws into the three skeleton files; the caller chose the headless platform.
int writeSkeletons(const QString &folder, const QImage &image, AnnotationPreferences &annotation,
                   EditorSizePreferences &sizes) {
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "crel-editor: cannot create %s\n", qPrintable(folder));
    return 1;
  }
  GlassSurface::setPreviewRendering(true);
  for (EditorSize size : allCases<EditorSize>()) {
    sizes.setSize(size);
    EditorController editor(std::make_unique<CrelDocument>(image, annotation), sizes);
    editor.document().commit(demoMarks(image.size()));
    editor.present();
    QCoreApplication::processEvents();
    const QString file = QDir(folder).filePath("editor_skeleton_" + rawValue(size) + ".png");
    if (!editor.window()->grab().save(file)) {
      std::fprintf(stderr, "crel-editor: cannot write %s\n", qPrintable(file));
      return 1;
    }
    std::printf("%s\n", qPrintable(file));
  }
  return 0;
}

QImage render(QWidget &widget, double scale) {
  QImage image((QSizeF(widget.size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(scale);
  image.fill(Qt::transparent);
  widget.render(&image);
  return image;
}

bool write(const QImage &image, const QString &file) {
  if (!image.save(file)) {
    std::fprintf(stderr, "crel-editor: cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

// The two editor sizes with a saved document, and the status fallbacks.
int writeFull(const QString &folder, const QImage &image, AnnotationPreferences &annotation,
              EditorSizePreferences &sizes, double scale) {
  QTemporaryDir saves;
  if (!QDir().mkpath(folder) || !saves.isValid()) {
    std::fprintf(stderr, "crel-editor: cannot create %s\n", qPrintable(folder));
    return 1;
  }
  GlassSurface::setPreviewRendering(true);
  Motion::setEnabled(false);
  for (EditorSize size : {EditorSize::compact, EditorSize::large}) {
    sizes.setSize(size);
    EditorController editor(std::make_unique<CrelDocument>(image, annotation), sizes);
    editor.document().enableAutosave(saves.path(), "Editor " + rawValue(size));
    editor.document().commit(demoMarks(image.size()));
    editor.document().flushAutosave();
    editor.present();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const QString file = QDir(folder).filePath(QString("editor_full_%1.png").arg(contentSize(size).width()));
    if (!write(render(*editor.window(), scale), file))
      return 1;
  }

  // One row per width the status group is offered, then the error row.
  sizes.setSize(EditorSize::large);
  EditorController saved(std::make_unique<CrelDocument>(image, annotation), sizes);
  saved.document().enableAutosave(saves.path(), "Status");
  EditorController failing(std::make_unique<CrelDocument>(image, annotation), sizes);
  QFile blocker(saves.filePath("not-a-folder"));
  if (!blocker.open(QIODevice::WriteOnly))
    return 1;
  blocker.close();
  try {
    failing.document().enableAutosave(blocker.fileName() + "/sub", "Status");
  } catch (const std::exception &) {
    // The failure is what the last row shows.
  }
  QCoreApplication::processEvents();
  auto *status = static_cast<StatusGroup *>(saved.view()->groups()[5]);
  auto *error = static_cast<StatusGroup *>(failing.view()->groups()[5]);
  const QList<double> widths = status->candidateWidths();
  const int rowHeight = 64, left = 150, sheetWidth = 560;
  QWidget sheet;
  sheet.setAttribute(Qt::WA_DontShowOnScreen);
  LightPalette::apply(&sheet);
  sheet.resize(sheetWidth, rowHeight * int(widths.size() + 1) + 16);
  QImage out((QSizeF(sheet.size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
  out.setDevicePixelRatio(scale);
  out.fill(QColor(0xEC, 0xEC, 0xEC));
  QPainter painter(&out);
  painter.setRenderHint(QPainter::Antialiasing);
  const auto row = [&](int index, StatusGroup *group, double offered, const QString &caption) {
    const QSizeF size = group->sizeFor(offered, BarGroup::height);
    group->resize(size.toSize());
    QCoreApplication::processEvents();
    const int top = 8 + index * rowHeight;
    painter.setFont(ChromeFonts::font(11.5));
    painter.setPen(ChromeColors::secondaryLabel());
    painter.drawText(QRectF(16, top, left - 24, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, caption);
    group->render(&painter, QPoint(left, top + (rowHeight - group->QWidget::height()) / 2));
  };
  for (int i = 0; i < widths.size(); ++i)
    row(i, status, widths[i], QString("offered %1").arg(widths[i]));
  row(int(widths.size()), error, 400, "after a failed save");
  painter.end();
  return write(out, QDir(folder).filePath("status_fallbacks.png")) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("CREL_BUNDLE_DIR"))
    qputenv("CREL_BUNDLE_DIR", CREL_EDITOR_BUNDLE_DIR);
  QTemporaryDir scratch;
  // Skeletons are drawn headless, on a desktop-sized screen at a fixed DPI.
  for (int i = 1; i < argc; ++i) {
    if ((QByteArray(argv[i]) == "--skeletons" || QByteArray(argv[i]) == "--full") &&
        OffscreenScreen::useDesktopSized(scratch.path()))
      qputenv("QT_FONT_DPI", "96");
  }
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.addPositionalArgument("image", "The screenshot to show.");
  parser.addPositionalArgument("marks", "A JSON list of marks.", "[marks.json]");
  const QCommandLineOption demo("demo"), draft("draft"), trace("trace");
  const QCommandLineOption select("select", "Select mark N.", "N"), zoom("zoom", "Zoom.", "Z");
  const QCommandLineOption size("size", "Window size: compact, regular or large.", "size", "large");
  const QCommandLineOption folder("folder", "Save into this folder.", "folder");
  const QCommandLineOption screenshot("screenshot", "Save the screen and quit.", "file");
  const QCommandLineOption skeletons("skeletons", "Write the editor skeleton images and quit.", "folder");
  const QCommandLineOption full("full", "Write the full editor and status images and quit.", "folder");
  const QCommandLineOption scale("scale", "Device pixels per point of --full.", "N", "1");
  const QCommandLineOption help(QStringList{"h", "help"}, "Show this help.");
  parser.addOptions({demo, draft, select, zoom, size, folder, screenshot, trace, skeletons, full, scale, help});
  const bool parsed = parser.parse(app.arguments());
  const QStringList args = parser.positionalArguments();
  if (!parsed || parser.isSet(help) || (args.isEmpty() && !parser.isSet(skeletons) && !parser.isSet(full)) ||
      args.size() > 2) {
    if (!parsed)
      std::fprintf(stderr, "crel-editor: %s\n", qPrintable(parser.errorText()));
    return tools::printUsage(qPrintable(parser.helpText()));
  }

  QImage image;
  if (!args.isEmpty()) {
    image = ImageDecoder::read(args[0]);
    if (image.isNull()) {
      std::fprintf(stderr, "crel-editor: cannot read %s: %s\n", qPrintable(args[0]),
                   qPrintable(CrelError::invalidImage().errorDescription()));
      return 1;
    }
  } else {
    image = generatedScreenshot();
  }

  // Private preferences: trying the editor never changes the user's.
  SettingsStore store(scratch.filePath("settings.ini"));
  AnnotationPreferences annotation(store);
  EditorSizePreferences sizes(store);
  if (parser.isSet(skeletons))
    return writeSkeletons(parser.value(skeletons), image, annotation, sizes);
  if (parser.isSet(full)) {
    LightPalette::install(app);
    return writeFull(parser.value(full), image, annotation, sizes, parser.value(scale).toDouble());
  }

  const std::optional<EditorSize> chosenSize = fromRawValue<EditorSize>(parser.value(size));
  if (!chosenSize) {
    std::fprintf(stderr, "crel-editor: unknown size %s\n", qPrintable(parser.value(size)));
    return 2;
  }
  sizes.setSize(*chosenSize);

  QList<Mark> marks;
  if (args.size() > 1) {
    QFile file(args[1]);
    if (!file.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "crel-editor: cannot open %s\n", qPrintable(args[1]));
      return 1;
    }
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(file.readAll(), &error);
    try {
      if (error.error != QJsonParseError::NoError)
        throw std::runtime_error(error.errorString().toStdString());
      marks = Mark::decodeList(json.array());
    } catch (const std::exception &e) {
      std::fprintf(stderr, "crel-editor: %s is not a list of marks: %s\n", qPrintable(args[1]), e.what());
      return 1;
    }
  }
  if (parser.isSet(demo))
    marks += demoMarks(image.size());

  std::unique_ptr<EditorController> editor;
  if (parser.isSet(folder)) {
    AnnotationPreferences::overrideShared(&annotation);
    EditorSizePreferences::overrideShared(&sizes);
    editor = EditorController::open(image, CaptureSource{"crel-editor", QFileInfo(args[0]).completeBaseName()},
                                    parser.value(folder));
  } else {
    editor = std::make_unique<EditorController>(std::make_unique<CrelDocument>(image, annotation), sizes);
  }
  CrelDocument &document = editor->document();
  CanvasView *canvas = editor->view()->canvas();
  if (!marks.isEmpty())
    document.commit(marks);
  QObject::connect(editor.get(), &EditorController::closed, &app, &QApplication::quit);

  if (parser.isSet(trace)) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    // Alt-click and the context menu copy the colour's hex text.
    canvas->interaction().hooks().copyColor = [&](const PixelColor &color) {
      Pasteboard::general().clear();
      Pasteboard::general().writeText(color.hex());
      std::printf("copied %s\n", qPrintable(color.hex()));
    };
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
    QObject::connect(&sizes, &EditorSizePreferences::sizeChanged,
                     [](EditorSize s) { std::printf("size: %s\n", qPrintable(rawValue(s))); });
  }
  editor->present();

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
    QObject::connect(canvas, &CanvasView::laidOut, canvas, printImage);
  }
  if (parser.isSet(screenshot)) {
    QTimer::singleShot(800, &app, [&] {
      const QPixmap shot = editor->window()->screen()->grabWindow(0);
      if (!shot.save(parser.value(screenshot))) {
        std::fprintf(stderr, "crel-editor: cannot save %s\n", qPrintable(parser.value(screenshot)));
        app.exit(1);
        return;
      }
      app.quit();
    });
  }
  return app.exec();
}
