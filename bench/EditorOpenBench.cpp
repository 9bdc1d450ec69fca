// Opening an editor: from a decoded 5120x2880 screenshot (as a PNG decoder
// hands it over, opaque RGB32) to the first complete paint of a large editor
// window on a 1920x1080 offscreen screen: the document, the window, the
// stage, the canvas with the screenshot fitted, and the bars.

#include "BenchSupport.h"

#include "canvas/CanvasView.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditorSizePreferences.h"
#include "editor/EditorController.h"
#include "editor/EditorView.h"
#include "editor/EditorWindow.h"
#include "platform/base/OffscreenScreen.h"
#include "platform/files/SettingsStore.h"

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>

using namespace crel;

namespace {

constexpr int runs = 10;

QImage screenshotLike(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(QColor(244, 245, 247));
  QPainter p(&image);
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int i = 0; i < 60; ++i)
    p.fillRect(QRectF(unit(rng) * size.width(), unit(rng) * size.height(), 600 * unit(rng), 400 * unit(rng)),
               QColor::fromHsvF(float(unit(rng)), 0.4f, 0.85f));
  return image;
}

// Sees the canvas's paint event; the paint is done when the event loop
// returns from dispatching it.
class PaintWatch : public QObject {
public:
  bool painted = false;

protected:
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == QEvent::Paint)
      painted = true;
    return false;
  }
};

std::vector<double> openTimes;

void BM_EditorOpen5k(benchmark::State &state) {
  QTemporaryDir dir;
  SettingsStore store(dir.filePath("settings.ini"));
  AnnotationPreferences annotation(store);
  EditorSizePreferences sizes(store);
  sizes.setSize(EditorSize::large);
  const QImage image = screenshotLike({5120, 2880});
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    auto editor = std::make_unique<EditorController>(std::make_unique<CrelDocument>(image, annotation), sizes);
    PaintWatch watch;
    editor->view()->canvas()->installEventFilter(&watch);
    editor->present();
    while (!watch.painted)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    openTimes.push_back(ms);
    state.SetIterationTime(ms / 1000);
    editor->window()->close();
    editor.reset();
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_EditorOpen5k)->Iterations(runs)->UseManualTime()->Unit(benchmark::kMillisecond);

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
  // The large window needs a desktop-sized screen; the offscreen default is 800x800.
  QTemporaryDir configDir;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    OffscreenScreen::useDesktopSized(configDir.path());
  crel::bench::useHeadlessQt();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!openTimes.empty())
    crel::bench::printGoal("editor_open_5k_ms", median(openTimes), 150);
  return 0;
}
