// Time from "capture requested" to "all stills in memory" for one, two and
// four 3840x2160 monitors under Xvfb: our one-read fast path (MIT-SHM on a
// worker, and the plain wire read) against QScreen::grabWindow per screen.
//
// Run plainly, it starts the X test bed once per layout and runs itself
// inside; the GOAL line compares the fast path with grabWindow on two
// monitors.

#include "BenchSupport.h"

#include "platform/display/X11SnapshotProvider.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::map<std::string, std::vector<double>> samples;

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void takeAll(crel::X11SnapshotProvider &provider) {
  QEventLoop loop;
  QObject receiver;
  bool ok = false;
  provider.takeDisplays(&receiver, [&](std::vector<crel::DisplayStill> stills, std::exception_ptr error) {
    ok = !error && !stills.empty();
    benchmark::DoNotOptimize(stills.data());
    loop.quit();
  });
  loop.exec();
  if (!ok)
    std::fprintf(stderr, "capture failed\n");
}

void fastPath(benchmark::State &state, bool shm, const char *key) {
  crel::X11SnapshotProvider provider;
  provider.setSharedMemoryAllowed(shm);
  takeAll(provider); // connect and warm up
  for (auto _ : state) {
    const auto start = Clock::now();
    takeAll(provider);
    samples[key].push_back(since(start));
  }
}

void BM_FastPathSharedMemory(benchmark::State &state) { fastPath(state, true, "fast"); }
void BM_FastPathPlainRead(benchmark::State &state) { fastPath(state, false, "plain"); }

void BM_GrabWindowPerScreen(benchmark::State &state) {
  for (QScreen *screen : QGuiApplication::screens())
    benchmark::DoNotOptimize(screen->grabWindow(0).toImage().constBits());
  for (auto _ : state) {
    const auto start = Clock::now();
    std::vector<QImage> images;
    for (QScreen *screen : QGuiApplication::screens())
      images.push_back(screen->grabWindow(0).toImage());
    benchmark::DoNotOptimize(images.data());
    samples["grabWindow"].push_back(since(start));
  }
}

BENCHMARK(BM_FastPathSharedMemory)->Unit(benchmark::kMillisecond)->Iterations(12);
BENCHMARK(BM_FastPathPlainRead)->Unit(benchmark::kMillisecond)->Iterations(12);
BENCHMARK(BM_GrabWindowPerScreen)->Unit(benchmark::kMillisecond)->Iterations(12);

double median(std::vector<double> v) {
  if (v.empty())
    return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int inner(int argc, char **argv) {
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const int monitors = int(QGuiApplication::screens().size());
  for (const auto &[key, values] : samples)
    std::printf("MEASURED %s %d %.1f\n", key.c_str(), monitors, median(values));
  return 0;
}

int outer() {
  std::map<std::string, double> twoMonitors;
  for (const char *layout : {"4k1", "4k2", "4k4"}) {
    std::printf("== %d monitor(s) of 3840x2160\n", layout[2] - '0');
    const std::string flags = std::string("--layout ") + layout + " --no-wm --helper " + CREL_TEST_MONITORS;
    const bool ran = crel::bench::runInTestbed(CREL_TESTBED_SCRIPT, flags, [&](const char *line) {
      char key[64];
      int monitors = 0;
      double ms = 0;
      if (std::sscanf(line, "MEASURED %63s %d %lf", key, &monitors, &ms) == 3 && monitors == 2)
        twoMonitors[key] = ms;
    });
    if (!ran)
      std::fprintf(stderr, "the %s run failed\n", layout);
  }
  if (!twoMonitors.count("fast") || !twoMonitors.count("grabWindow")) {
    std::printf("GOAL capture_stills_ms_2x4k n/a n/a MISSED\n");
    return 1;
  }
  // Informative: the target is what QScreen::grabWindow takes in the same run.
  const double measured = twoMonitors["fast"], target = twoMonitors["grabWindow"];
  crel::bench::printGoal("capture_stills_ms_2x4k", measured, target);
  return 0;
}

} // namespace

int main(int argc, char **argv) { return crel::bench::insideTestbed(argc, argv, inner, outer); }
