#include "LiveEditorCapture.h"

#include "AcceptanceReads.h"
#include "LiveWindowServer.h"
#include "PreviewDomain.h"
#include "PreviewPng.h"

#include "chrome/HintController.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditorSize.h"
#include "document/MarkValidation.h"
#include "editor/EditorView.h"
#include "editor/GlassSurface.h"
#include "platform/files/AtomicFileWriter.h"
#include "platform/files/JsonReader.h"
#include "platform/image/ImageDecoder.h"
#include "selfcheck/Failure.h"
#include "selfcheck/Fixtures.h"
#include "selfcheck/TextRecognitionFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cstdio>

namespace crel::LiveEditorCapture {

namespace {

using NativeTests::Failure;

struct Scene {
  QString name;
  QImage image;
  QList<Mark> marks;
  MarkTool tool = MarkTool::arrow;
  std::optional<int> selected;
  double zoom = 1;
  QSizeF pan;
  QString hint;
  QString title;
  EditorSize size = EditorSize::regular;
};

Mark builtInMark(MarkTool tool, QPointF start, QPointF end, int ink, double width) {
  Mark m;
  m.id = QUuid::createUuid();
  m.tool = tool;
  m.start = start;
  m.end = end;
  m.ink = NativeTests::paletteInk(ink);
  m.width = width;
  m.style = AnnotationStyle::formal;
  m.fontSize = 40;
  m.textBoxWidth = 320;
  return m;
}

QList<Scene> scenes(const CommandLine &commandLine) {
  if (const auto fixture = commandLine.valueAfter(QStringLiteral("--fixture"))) {
    const auto marksPath = commandLine.valueAfter(QStringLiteral("--marks"));
    if (!marksPath)
      throw Failure(QStringLiteral("--fixture needs --marks <json>"));
    Scene custom;
    custom.name = QStringLiteral("custom");
    custom.image = ImageDecoder::read(*fixture);
    if (custom.image.isNull())
      throw std::runtime_error(QStringLiteral("Could not read the image %1.").arg(*fixture).toStdString());
    custom.marks = Mark::decodeList(json::parse(NativeTests::readFile(*marksPath)));
    custom.title = commandLine.valueAfter(QStringLiteral("--title")).value_or(QStringLiteral("Crel.png"));
    custom.size = fromRawValue<EditorSize>(commandLine.valueAfter(QStringLiteral("--size")).value_or(QString()))
                      .value_or(EditorSize::regular);
    return {custom};
  }
  const QList<Mark> marks{builtInMark(MarkTool::arrow, {150, 300}, {420, 200}, 0, 32),
                          builtInMark(MarkTool::rectangle, {460, 60}, {760, 150}, 1, 6)};
  const QImage page = TextRecognitionFixture::page();
  const QString title = QStringLiteral("Project review.png");
  return {
      {QStringLiteral("arrow"), page, marks, MarkTool::arrow, std::nullopt, 1, {}, {}, title},
      {QStringLiteral("selection"), page, marks, MarkTool::select, 0, 1, {}, {}, title},
      {QStringLiteral("zoomed"), page, marks, MarkTool::arrow, std::nullopt, 2.2, {120, 150}, {}, title},
      {QStringLiteral("hint"), page, marks, MarkTool::arrow, std::nullopt, 1, {}, QStringLiteral("tool-arrow"), title},
      {QStringLiteral("text"), page, marks, MarkTool::text, std::nullopt, 1, {}, QStringLiteral("copy"), title},
  };
}

void skip(const QDir &folder, const char *file, const char *line) {
  AtomicFileWriter::write(folder.filePath(QStringLiteral("skipped.txt")), QByteArray(file));
  std::printf("SKIPPED: %s\n", line);
  std::fflush(stdout);
}

// Removes the scratch autosave folder however the run ends.
struct ScratchFolder {
  QString path;
  ~ScratchFolder() { QDir(path).removeRecursively(); }
};

double backingScale() {
  const QScreen *screen = QGuiApplication::primaryScreen();
  return screen ? screen->devicePixelRatio() : 2.0;
}

void makeFolder(const QString &folder) {
  if (!QDir().mkpath(folder))
    throw std::runtime_error(QStringLiteral("Could not create the folder %1.").arg(folder).toStdString());
}

} // namespace

void skipWithoutX11(const QString &folder) {
  makeFolder(folder);
  skip(QDir(folder), "This session has no X11 display with the Composite extension. No capture was attempted.\n",
       "This session has no X11 display with the Composite extension");
}

void run(const QString &folderPath, const CommandLine &commandLine) {
  makeFolder(folderPath);
  const QDir folder(folderPath);
  LiveWindowServer server;
  if (!server.canCapture()) {
    skipWithoutX11(folderPath);
    return;
  }
  PreviewDomain domain(QStringLiteral("live-editor-"));
  ScratchFolder scratch{QDir::temp().filePath(domain.name())};
  for (const Scene &scene : scenes(commandLine)) {
    AnnotationPreferences preferences(domain.store());
    CrelDocument document(scene.image, preferences);
    MarkValidation::checkCanvas(document.expandedBounds(scene.marks));
    document.enableAutosave(scratch.path, QFileInfo(scene.title).completeBaseName());
    document.commit(scene.marks);
    document.flushAutosave();
    if (scene.tool != MarkTool::arrow)
      document.selectTool(scene.tool);
    if (scene.selected)
      document.selectMark(scene.marks[*scene.selected], false);
    document.setZoom(scene.zoom);
    document.setPan(scene.pan);

    QWidget window(nullptr, Qt::Window | Qt::WindowTransparentForInput);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setWindowTitle(scene.title);
    auto *view = new EditorView(document);
    GlassSurface::installEditor(view, window);
    GlassSurface::setContentSize(contentSize(scene.size), window);
    if (!scene.hint.isEmpty())
      view->hints().setPreviewHint(scene.hint);

    const std::optional<LiveWindowServer::Cover> cover = server.findCover(window);
    if (!cover) {
      skip(folder, "No opaque window large enough to cover the capture. No capture was attempted.\n",
           "no covering window");
      return;
    }
    const QImage image = server.captureBelow(window, *cover, backingScale());
    window.hide();
    QFile out(folder.filePath(QStringLiteral("live-") + scene.name + QStringLiteral(".png")));
    const QByteArray png = PreviewPng::encode(image, QStringLiteral("Could not encode the live editor capture"));
    if (!out.open(QIODevice::WriteOnly) || out.write(png) != png.size())
      throw std::runtime_error(
          QStringLiteral("Could not write %1: %2").arg(out.fileName(), out.errorString()).toStdString());
    std::printf("Captured live editor %s: %dx%d\n", qPrintable(scene.name), image.width(), image.height());
    std::fflush(stdout);
  }
}

} // namespace crel::LiveEditorCapture
