// A capture overlay's first frame: from a display's still in memory to its
// selection view painted whole, on a 1920x1080-point display. Measured where
// the still has more pixels than the panel (a 1.5x and a 2x Wayland output
// under XWayland, whose panels have one device pixel a point) and where the
// two map 1:1 (a 1x display, and X11 at a Qt scale of 2); each is printed
// against the 1x display, whose panel has as many pixels as the XWayland
// ones. Also measured: an area-averaged copy of the 1.5x still at the
// panel's size, which a panel would need made before its first frame.
//
// On a display (QT_QPA_PLATFORM=xcb, e.g. in scripts/wayland-testbed
// --outputs 2880x1620@1.5) it also times whole captures, from their start to
// every overlay painted.

#include "BenchSupport.h"
#include "SyntheticImages.h"

#include "capture/CaptureCoordinator.h"
#include "capture/RegionSelectionView.h"

#include <QApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace crel;

namespace {

constexpr int frames = 50;
const geom::Rect frame(0, 0, 1920, 1080);

struct Output {
  const char *name;
  double stillScale; // still pixels per point
  double devicePixelRatio;
};
const Output outputs[] = {{"1x", 1, 1}, {"1.5x", 1.5, 1}, {"2x", 2, 1}, {"x11_2x", 2, 2}};

QImage still(double scale) {
  return bench::uiScreenshot(int(frame.width() * scale), int(frame.height() * scale))
      .convertToFormat(QImage::Format_RGB32);
}

QImage panelPixels(const Output &output) {
  QImage image((QSizeF(frame.width(), frame.height()) * output.devicePixelRatio).toSize(), QImage::Format_RGB32);
  image.setDevicePixelRatio(output.devicePixelRatio);
  return image;
}

double median(std::vector<double> v) {
  if (v.empty())
    return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::map<std::string, double> measured; // median ms by name

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// A new view for the still, painted whole, as a panel's first exposure.
void BM_FirstFrame(benchmark::State &state) {
  const Output &output = outputs[state.range(0)];
  const QImage image = still(output.stillScale);
  QImage target = panelPixels(output);
  std::vector<double> record;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    RegionSelectionView view({1, frame, image});
    view.render(&target);
    record.push_back(since(t0));
  }
  state.SetLabel(output.name);
  measured[std::string("first_frame_") + output.name] = state.counters["median_ms"] = median(record);
}
BENCHMARK(BM_FirstFrame)->DenseRange(0, 3)->Iterations(frames)->Unit(benchmark::kMillisecond);

// An area-averaged copy of the 1.5x still at the panel's pixels.
void BM_AveragedCopy(benchmark::State &state) {
  const QImage image = still(1.5);
  std::vector<double> record;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const QImage copy =
        image.scaled(int(frame.width()), int(frame.height()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    benchmark::DoNotOptimize(copy.constBits());
    record.push_back(since(t0));
  }
  measured["averaged_copy_1.5x"] = state.counters["median_ms"] = median(record);
}
BENCHMARK(BM_AveragedCopy)->Iterations(frames)->Unit(benchmark::kMillisecond);

// Notes each selection view's finished paint.
class PaintWatch : public QObject {
public:
  std::set<QObject *> painted;
  bool eventFilter(QObject *receiver, QEvent *event) override {
    if (event->type() == QEvent::Paint && qobject_cast<RegionSelectionView *>(receiver))
      painted.insert(receiver);
    return false;
  }
};

void BM_CaptureToFirstFrame(benchmark::State &state) {
  CaptureCoordinator capture;
  PaintWatch watch;
  qApp->installEventFilter(&watch);
  const size_t displays = QGuiApplication::screens().size();
  std::vector<double> record;
  for (auto _ : state) {
    watch.painted.clear();
    const auto t0 = std::chrono::steady_clock::now();
    capture.begin();
    const bool painted = bench::waitFor([&] { return watch.painted.size() >= displays; });
    record.push_back(since(t0));
    capture.cancel();
    bench::pumpFor(300);
    if (!painted) {
      state.SkipWithError("the overlays did not paint");
      break;
    }
  }
  qApp->removeEventFilter(&watch);
  measured["capture_to_first_frame"] = state.counters["median_ms"] = median(record);
}

} // namespace

int main(int argc, char **argv) {
  bench::useHeadlessQt();
  QApplication app(argc, argv);
  if (QGuiApplication::platformName() != QLatin1String("offscreen"))
    benchmark::RegisterBenchmark("BM_CaptureToFirstFrame", BM_CaptureToFirstFrame)
        ->Iterations(10)
        ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double plain = measured["first_frame_1x"];
  for (const Output &output : outputs) {
    const double ms = measured[std::string("first_frame_") + output.name];
    if (ms > 0 && plain > 0)
      std::printf("INFO overlay_first_frame_%s_ms %.3f (%.2f of 1x)\n", output.name, ms, ms / plain);
  }
  if (measured["averaged_copy_1.5x"] > 0)
    std::printf("INFO overlay_averaged_copy_1.5x_ms %.3f (%.1f MiB more a display while it shows)\n",
                measured["averaged_copy_1.5x"], frame.width() * frame.height() * 4 / 1048576.0);
  if (measured["capture_to_first_frame"] > 0)
    std::printf("INFO overlay_capture_to_first_frame_ms %.3f\n", measured["capture_to_first_frame"]);
  return 0;
}
