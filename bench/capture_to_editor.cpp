// The capture road from the user's side, under Xvfb with openbox, through the
// real capture coordinator, selection panels and editor controller, the mouse
// driven through XTest:
// - capture_to_editor_ms_desktop: from the mouse-up that ends a 1600x1000
//   selection on a 1920x1200 screen to the editor's first frame on screen;
// - capture_to_editor_ms_4k: the same selection on the first of two
//   3840x2160 monitors;
// - capture_to_editor_ms_whole_4k: the same for a whole monitor of the two;
// - rss_after_cycles_mb: resident memory 35 s after the fifth capture, copy
//   and close of a whole 4K monitor, minus what it was before the first
//   capture (the grab memory is kept for a quick next capture, then given
//   back; 35 s is what a user waits for it);
// - editor_rss_small_capture_mb: what each added editor of a 400x300
//   capture adds to resident memory on a 4K monitor, less the same on a
//   1920x1200 one, read once the grab memory has been given back: an editor
//   should hold its own pixels, whatever the size of the display;
// - background_editor_rss_vs_window: with one editor of a 640x400 PNG open
//   on a 3840x2160 monitor at 2x, eleven more opened at once as one launch
//   opens its files; what each adds, read the same way, over its window's
//   device pixels at 4 bytes: an editor in the background should hold
//   little more than the window the desktop shows.
//
// Run plainly, it starts the X test bed once per goal and runs itself inside.

#include "BenchSupport.h"

#include "canvas/CanvasView.h"
#include "capture/CaptureCoordinator.h"
#include "capture/CaptureSource.h"
#include "capture/RegionSelectionView.h"
#include "document/CrelDocument.h"
#include "editor/EditorController.h"
#include "editor/EditorView.h"
#include "editor/EditorWindow.h"
#include "platform/base/MemoryRoom.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QWindow>

#include <sys/resource.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int speedRuns = 10;
constexpr int memoryCycles = 5;
constexpr int settleSeconds = 35;
constexpr int addedEditors = 3;
constexpr int launchedEditors = 11;

// A mouse on a connection of its own.
class Mouse {
public:
  Mouse() : connection_(xcb_connect(nullptr, nullptr)) {}
  ~Mouse() { xcb_disconnect(connection_); }
  void move(int x, int y) { fake(XCB_MOTION_NOTIFY, 0, x, y); }
  void press() { fake(XCB_BUTTON_PRESS, 1, 0, 0); }
  void release() { fake(XCB_BUTTON_RELEASE, 1, 0, 0); }

private:
  void fake(uint8_t type, uint8_t detail, int x, int y) {
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    xcb_test_fake_input(connection_, type, detail, XCB_CURRENT_TIME, type == XCB_MOTION_NOTIFY ? root : XCB_NONE,
                        int16_t(x), int16_t(y), 0);
    xcb_flush(connection_);
  }
  xcb_connection_t *connection_;
};

// Sees every event and the moment its handling returned. A top-level
// window paints all its widgets and hands the pixels to the X server in one
// update request; when that returns, the frame is out.
class Application : public QApplication {
public:
  using QApplication::QApplication;
  // Selection overlays painted, and when the editor's canvas last finished a
  // frame of its window.
  std::set<QObject *> overlays;
  QPointer<QWidget> canvas;
  bool canvasPainted = false;
  std::optional<Clock::time_point> framed;
  // When the editor's window was first exposed and its canvas began to
  // paint, and when the first selection panel of the capture was deleted.
  std::optional<Clock::time_point> exposed, painting, panelDeleted;

  bool notify(QObject *receiver, QEvent *event) override {
    const QEvent::Type type = event->type();
    if (type == QEvent::DeferredDelete && !panelDeleted && receiver->inherits("crel::ScreenCapturePanel"))
      panelDeleted = Clock::now();
    if (type == QEvent::Expose && !exposed && canvas && receiver == canvas->window()->windowHandle())
      exposed = Clock::now();
    if (type == QEvent::Paint && !painting && receiver == canvas)
      painting = Clock::now();
    const bool result = QApplication::notify(receiver, event);
    if (type == QEvent::Paint) {
      if (qobject_cast<crel::RegionSelectionView *>(receiver))
        overlays.insert(receiver);
      if (receiver == canvas)
        canvasPainted = true;
    }
    if ((type == QEvent::UpdateRequest || type == QEvent::Expose) && canvas &&
        receiver == canvas->window()->windowHandle() && canvasPainted && !framed)
      framed = Clock::now();
    return result;
  }
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? -1 : v[v.size() / 2];
}

// A line of /proc/self/status in MB ("VmRSS", "RssAnon", "RssShmem"...).
double statusMb(const QByteArray &name) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly))
    return -1;
  const std::optional<qint64> bytes = crel::MemoryRoom::kilobytes(status.readAll(), name);
  return bytes ? double(*bytes) / (1 << 20) : -1;
}

double residentMb() { return statusMb("VmRSS"); }

// Page faults of the calling thread so far (the main thread's are the ones
// the first frame waits for).
long mainThreadFaults() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt + usage.ru_majflt;
}

// The application's capture road: the editor opens and shows as the shell
// opens it for a new capture, and is dropped once its window has closed.
struct Road {
  Application &app;
  QTemporaryDir folder;
  crel::CaptureCoordinator capture;
  Mouse mouse;
  QPointer<crel::EditorController> editor;
  // Steps after the mouse-up: the release seen, the image handed over, the
  // editor made, shown.
  Clock::time_point released, handed, opened, shown;

  explicit Road(Application &application) : app(application) {
    QObject::connect(&capture, &crel::CaptureCoordinator::phaseChanged, [this](crel::CaptureCoordinator::Phase phase) {
      if (phase == crel::CaptureCoordinator::Phase::finishing)
        released = Clock::now();
    });
    capture.setOnImage(nullptr, [this](const QImage &image, const crel::CaptureSource &source) {
      handed = Clock::now();
      crel::EditorController *controller = crel::EditorController::open(image, source, folder.path()).release();
      opened = Clock::now();
      QObject::connect(controller, &crel::EditorController::closed, controller, &QObject::deleteLater);
      QObject::connect(controller, &crel::EditorController::firstFrameShown, &capture,
                       &crel::CaptureCoordinator::tearDownPanels);
      editor = controller;
      app.canvas = controller->view()->canvas();
      controller->present();
      shown = Clock::now();
    });
  }

  // From the shortcut to the editor's first frame; the time from the
  // mouse-up, or a negative number when a step never came.
  double captureOnce(QPoint from, QPoint to) {
    app.overlays.clear();
    const int displays = int(QGuiApplication::screens().size());
    capture.begin();
    if (!crel::bench::waitFor([&] { return int(app.overlays.size()) >= displays; }))
      return -1;
    mouse.move(from.x(), from.y());
    mouse.press();
    mouse.move((from.x() + to.x()) / 2, (from.y() + to.y()) / 2);
    mouse.move(to.x(), to.y());
    crel::bench::pumpFor(100);
    app.canvas = nullptr;
    app.canvasPainted = false;
    app.framed.reset();
    app.exposed.reset();
    app.painting.reset();
    app.panelDeleted.reset();
    const long faultsBefore = mainThreadFaults();
    mouse.release();
    const auto start = Clock::now();
    if (!crel::bench::waitFor([&] { return app.framed.has_value(); }))
      return -1;
    const auto since = [&](Clock::time_point t) {
      return std::chrono::duration<double, std::milli>(t - start).count();
    };
    const double ms = since(*app.framed);
    const long faults = mainThreadFaults() - faultsBefore;
    // Closed only once written, so no discard prompt comes up.
    if (!crel::bench::waitFor([&] { return !editor || editor->document().savedURL().has_value(); }))
      return -1;
    const auto sinceIf = [&](const std::optional<Clock::time_point> &t) { return t ? since(*t) : -1.0; };
    std::printf("  release seen %.1f, image handed over %.1f, editor made %.1f, shown %.1f, exposed %.1f, "
                "painting %.1f, first frame out %.1f, panels deleted %.1f ms; %ld page faults\n",
                since(released), since(handed), since(opened), since(shown), sinceIf(app.exposed),
                sinceIf(app.painting), ms, sinceIf(app.panelDeleted), faults);
    return ms;
  }

  void close(bool byCopy) {
    if (!editor)
      return;
    if (byCopy)
      editor->copyImage();
    else
      editor->window()->close();
    crel::bench::waitFor([&] { return !editor; });
  }
};

int speed(Application &app, QPoint from, QPoint to, const char *name) {
  Road road(app);
  std::vector<double> samples;
  for (int run = 0; run <= speedRuns; ++run) {
    const double ms = road.captureOnce(from, to);
    if (ms < 0) {
      std::fprintf(stderr, "run %d: the editor did not show\n", run);
      return 1;
    }
    road.close(false);
    crel::bench::pumpFor(200);
    if (run > 0) // the first warms up
      samples.push_back(ms);
    std::printf("run %d: %.1f ms\n", run, ms);
  }
  std::printf("MEASURED %s %.1f\n", name, median(samples));
  return 0;
}

int memory(Application &app, QPoint from, QPoint to) {
  Road road(app);
  crel::bench::pumpFor(500);
  const double before = residentMb();
  std::printf("before: anonymous %.1f, shared %.1f, files %.1f MB\n", statusMb("RssAnon"), statusMb("RssShmem"),
              statusMb("RssFile"));
  for (int cycle = 0; cycle < memoryCycles; ++cycle) {
    if (road.captureOnce(from, to) < 0) {
      std::fprintf(stderr, "cycle %d: the editor did not show\n", cycle);
      return 1;
    }
    road.close(true);
    std::printf("cycle %d: %.1f MB (anonymous %.1f, shared %.1f, files %.1f)\n", cycle, residentMb() - before,
                statusMb("RssAnon"), statusMb("RssShmem"), statusMb("RssFile"));
  }
  crel::bench::pumpFor(settleSeconds * 1000);
  std::printf("settled: anonymous %.1f, shared %.1f, files %.1f MB\n", statusMb("RssAnon"), statusMb("RssShmem"),
              statusMb("RssFile"));
  std::printf("MEASURED rss %.1f\n", residentMb() - before);
  return 0;
}

// Resident memory once the grab memory of the last capture is given back.
double settledMb() {
  crel::bench::pumpFor(settleSeconds * 1000);
  return residentMb();
}

// Editors of a small capture are opened and kept; what each adds once the
// first one has loaded everything an editor shares.
int smallCaptures(Application &app) {
  Road road(app);
  const QPoint from(200, 200), to(600, 500);
  if (road.captureOnce(from, to) < 0)
    return 1;
  const double before = settledMb();
  for (int i = 0; i < addedEditors; ++i)
    if (road.captureOnce(from, to) < 0)
      return 1;
  const double after = settledMb();
  std::printf("MEASURED editor %.2f\n", (after - before) / addedEditors);
  return 0;
}

// One editor of a small PNG is open; a launch opens eleven more, the last
// one in front.
int backgroundEditors() {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("small.png"));
  QImage drawn(640, 400, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < drawn.height(); ++y)
    for (int x = 0; x < drawn.width(); ++x)
      drawn.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256));
  if (!drawn.save(path))
    return 1;
  std::vector<std::unique_ptr<crel::EditorController>> editors;
  const auto open = [&] {
    editors.push_back(
        crel::EditorController::open(QImage(path), crel::CaptureSource{{}, QStringLiteral("small")}, folder.path()));
    editors.back()->present();
    return editors.back().get();
  };
  open();
  const double before = settledMb();
  for (int i = 0; i < launchedEditors; ++i)
    open();
  editors.back()->present();
  const double after = settledMb();
  const QWidget &window = *editors.back()->window();
  const double dpr = window.devicePixelRatioF();
  const double windowMb = window.width() * dpr * window.height() * dpr * 4 / (1024 * 1024);
  std::printf("window %dx%d at %.1fx: %.1f MB; each editor %.1f MB\n", window.width(), window.height(), dpr, windowMb,
              (after - before) / launchedEditors);
  std::printf("MEASURED background %.3f\n", (after - before) / launchedEditors / windowMb);
  return 0;
}

int inner(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("CREL_BUNDLE_DIR"))
    qputenv("CREL_BUNDLE_DIR", CREL_BENCH_BUNDLE_DIR);
  Application app(argc, argv);
  const QByteArray mode = qgetenv("CREL_BENCH_ROAD");
  // A whole monitor: the drag runs past its far corner onto the next one
  // (the selection stops at the monitor's edge; the pointer at the screen's).
  const QPoint origin(0, 0), farCorner(3900, 2159);
  // 1600x1000 from near the top left of the first monitor.
  const QPoint from(160, 100), to(1760, 1100);
  if (mode == "desktop")
    return speed(app, from, to, "desktop");
  if (mode == "4k")
    return speed(app, from, to, "4k");
  if (mode == "whole4k")
    return speed(app, origin, farCorner, "whole_4k");
  if (mode == "small")
    return smallCaptures(app);
  if (mode == "background")
    return backgroundEditors();
  if (mode == "memory")
    return memory(app, origin, farCorner);
  return 2;
}

std::optional<double> measure(const char *mode, const char *layout, const char *key) {
  setenv("CREL_BENCH_ROAD", mode, 1);
  std::optional<double> measured;
  const std::string pattern = std::string("MEASURED ") + key + " %lf";
  const bool ran = crel::bench::runInTestbed(CREL_TESTBED_SCRIPT,
                                             std::string("--layout ") + layout + " --helper " + CREL_TEST_MONITORS,
                                             [&](const char *line) {
                                               double value = 0;
                                               if (std::sscanf(line, pattern.c_str(), &value) == 1)
                                                 measured = value;
                                             });
  return ran ? measured : std::nullopt;
}

int outer() {
  // CREL_BENCH_GOALS=name,name... measures only those goals.
  const QByteArray only = qgetenv("CREL_BENCH_GOALS");
  bool failed = false;
  const auto goal = [&](const char *name, double target, const std::function<std::optional<double>()> &measured) {
    if (!only.isEmpty() && !only.split(',').contains(name))
      return;
    const std::optional<double> value = measured();
    failed = failed || !value;
    crel::bench::printGoal(name, value, target);
  };
  goal("capture_to_editor_ms_desktop", 35, [] { return measure("desktop", "desktop", "desktop"); });
  goal("capture_to_editor_ms_4k", 45, [] { return measure("4k", "4k2", "4k"); });
  goal("capture_to_editor_ms_whole_4k", 80, [] { return measure("whole4k", "4k2", "whole_4k"); });
  goal("rss_after_cycles_mb", 20, [] { return measure("memory", "4k2", "rss"); });
  goal("editor_rss_small_capture_mb", 1, []() -> std::optional<double> {
    const std::optional<double> fourK = measure("small", "4k2", "editor");
    const std::optional<double> desktop = measure("small", "desktop", "editor");
    if (!fourK || !desktop)
      return std::nullopt;
    return *fourK - *desktop;
  });
  goal("background_editor_rss_vs_window", 1.3, [] {
    setenv("QT_SCALE_FACTOR", "2", 1);
    const std::optional<double> measured = measure("background", "4k1", "background");
    unsetenv("QT_SCALE_FACTOR");
    return measured;
  });
  return failed ? 1 : 0;
}

} // namespace

int main(int argc, char **argv) { return crel::bench::insideTestbed(argc, argv, inner, outer); }
