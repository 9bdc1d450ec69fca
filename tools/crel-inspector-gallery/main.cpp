// crel-inspector-gallery [--scale N] <folder>: renders the editor's inspector
// group headless at N device pixels per point (1 by default), for each tool
// in its wide and its compact form, and writes
//   inspector_<tool>_wide.png, inspector_<tool>_compact.png   (13 tools)
//   inspector_arrow_selected_{wide,compact}.png               (a selected arrow)
//   inspector_extract_words_wide.png       two of three recognised words selected
//   inspector_highlight_recognizing_wide.png   Smart text while recognition runs

#include "../ToolUsage.h"
#include "../WidgetPng.h"
#include "chrome/ChromeFonts.h"
#include "chrome/LightPalette.h"
#include "chrome/Motion.h"
#include "chrome/StageWidget.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "editor/InspectorGroup.h"
#include "platform/files/SettingsStore.h"
#include "platform/text/FakeTextRecognizer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

using namespace crel;

namespace {

// No text recognition: the renders show the state before any.
class StillDocument : public CrelDocument {
public:
  using CrelDocument::CrelDocument;
  void recognizeTextIfNeeded() override {}
};

constexpr int margin = 20;

bool render(CrelDocument &document, const QString &path, bool compact, double scale) {
  StageWidget root;
  auto *group = new InspectorGroup(document, {}, &root);
  group->setPreviewRendering(true);
  const double wide = group->sizeFor(std::nullopt, std::nullopt).width();
  // The compact form is what the group shows when one point less than the wide one is offered.
  const QSizeF size = group->sizeFor(compact ? wide - 1 : wide, std::nullopt);
  group->setGeometry(margin, margin, int(size.width()), int(size.height()));
  root.resize(int(size.width()) + 2 * margin, int(size.height()) + 2 * margin);
  return tools::renderToPng(root, path, scale);
}

// Runs the event loop until `done` or two seconds have passed.
void waitFor(const std::function<bool()> &done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 2000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

// The text states, over a stand-in recogniser with three words.
bool renderTextStates(AnnotationPreferences &preferences, const QString &folder, double scale);

QImage screenshot() {
  QImage image(640, 400, QImage::Format_ARGB32_Premultiplied);
  image.fill(QColor(236, 239, 243));
  return image;
}

} // namespace

int main(int argc, char **argv) {
  tools::useHeadlessDefaults(CREL_GALLERY_BUNDLE_DIR);
  QApplication app(argc, argv);
  const auto args =
      tools::galleryArguments(app.arguments().mid(1), "usage: crel-inspector-gallery [--scale N] <folder>\n");
  if (!args)
    return 2;
  LightPalette::install(app);
  QApplication::setFont(ChromeFonts::applicationFont());
  Motion::setEnabled(false);
  const QString folder = args->folder;
  const double scale = args->scale;
  QDir().mkpath(folder);
  QTemporaryDir settingsDir;
  SettingsStore store(settingsDir.filePath("settings.ini"));
  AnnotationPreferences preferences(store);

  bool ok = true;
  for (const MarkTool tool : allCases<MarkTool>()) {
    StillDocument document(screenshot(), preferences);
    document.selectTool(tool);
    for (const bool compact : {false, true})
      ok = ok && render(document,
                        QStringLiteral("%1/inspector_%2_%3.png")
                            .arg(folder, rawValue(tool), compact ? QStringLiteral("compact") : QStringLiteral("wide")),
                        compact, scale);
  }
  StillDocument document(screenshot(), preferences);
  document.selectTool(MarkTool::arrow);
  Mark arrow;
  arrow.id = QUuid::createUuid();
  arrow.tool = MarkTool::arrow;
  arrow.start = {40, 40};
  arrow.end = {200, 120};
  arrow.ink = document.ink();
  arrow.width = document.stroke();
  document.commit({arrow});
  document.selectMark(arrow, false);
  for (const bool compact : {false, true})
    ok = ok && render(document,
                      QStringLiteral("%1/inspector_arrow_selected_%2.png")
                          .arg(folder, compact ? QStringLiteral("compact") : QStringLiteral("wide")),
                      compact, scale);
  return ok && renderTextStates(preferences, folder, scale) ? 0 : 1;
}

namespace {

bool renderTextStates(AnnotationPreferences &preferences, const QString &folder, double scale) {
  auto recognizer = std::make_shared<FakeTextRecognizer>();
  recognizer->setObservations({{{{"alpha", {10, 10, 40, 20}}, {"beta", {60, 10, 50, 20}}}, {10, 10, 100, 20}, 0.9f},
                               {{{"gamma", {10, 50, 60, 20}}}, {10, 50, 60, 20}, 0.9f}});
  TextRecognizer::setShared(recognizer);
  bool ok = true;
  {
    CrelDocument document(screenshot(), preferences);
    document.selectTool(MarkTool::extract);
    waitFor([&] { return !document.recognizing(); });
    document.setSelectedWords(document.availableText().words.mid(1));
    ok = render(document, folder + "/inspector_extract_words_wide.png", false, scale);
  }
  recognizer->hold();
  {
    CrelDocument document(screenshot(), preferences);
    document.selectTool(MarkTool::highlight);
    ok = ok && render(document, folder + "/inspector_highlight_recognizing_wide.png", false, scale);
    recognizer->release();
    waitFor([&] { return !document.recognizing(); });
  }
  TextRecognizer::waitForBackgroundWork();
  TextRecognizer::setShared(nullptr);
  return ok;
}

} // namespace
