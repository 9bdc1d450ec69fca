// Time from a synthetic press of the capture shortcut to every selection
// overlay painted (the frozen, dimmed displays on screen, not merely mapped),
// on two 3840x2160 monitors under Xvfb: the real shortcut manager, capture
// coordinator and panels, the key sent through XTest.
//
// Run plainly, it starts the X test bed with that layout and runs itself
// inside; the GOAL line is the median of ten captures.

#include "BenchSupport.h"

#include "app/ShortcutManager.h"
#include "capture/CaptureCoordinator.h"
#include "capture/RegionSelectionView.h"
#include "platform/files/SettingsStore.h"
#include "platform/shortcuts/HotKeyBackend.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int runs = 10;
constexpr double targetMs = 150;

// Presses Ctrl+Shift+2 as a keyboard would, on a connection of its own.
class Keyboard {
public:
  Keyboard() : connection_(xcb_connect(nullptr, nullptr)), symbols_(xcb_key_symbols_alloc(connection_)) {}
  ~Keyboard() {
    xcb_key_symbols_free(symbols_);
    xcb_disconnect(connection_);
  }
  void chord() {
    const xcb_keycode_t keys[] = {code(0xffe3 /* Control_L */), code(0xffe1 /* Shift_L */), code(0x32 /* 2 */)};
    for (xcb_keycode_t key : keys)
      xcb_test_fake_input(connection_, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
      xcb_test_fake_input(connection_, XCB_KEY_RELEASE, *it, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(connection_);
  }

private:
  xcb_keycode_t code(xcb_keysym_t keysym) {
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols_, keysym);
    const xcb_keycode_t first = codes ? codes[0] : 0;
    std::free(codes);
    return first;
  }
  xcb_connection_t *connection_;
  xcb_key_symbols_t *symbols_;
};

// Notes each selection view's finished paint; the time is taken on the next
// turn of the loop, once the paint has been flushed to the window.
class PaintWatch : public QObject {
public:
  std::set<QObject *> painted;
  bool eventFilter(QObject *receiver, QEvent *event) override {
    if (event->type() == QEvent::Paint && qobject_cast<crel::RegionSelectionView *>(receiver))
      painted.insert(receiver);
    return false;
  }
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int inner(int argc, char **argv) {
  QApplication app(argc, argv);
  QTemporaryDir settingsDir;
  crel::SettingsStore settings(settingsDir.filePath(QStringLiteral("settings.ini")));
  crel::ShortcutManager shortcuts(settings);
  crel::CaptureCoordinator capture;
  shortcuts.setOnCapture(nullptr, [&capture] { capture.begin(); });
  shortcuts.registerShortcut(shortcuts.current());
  PaintWatch watch;
  app.installEventFilter(&watch);
  Keyboard keyboard;
  const size_t displays = QGuiApplication::screens().size();

  std::vector<double> samples;
  for (int run = 0; run <= runs; ++run) {
    watch.painted.clear();
    QEventLoop loop;
    QTimer poll;
    double elapsed = -1;
    const auto start = Clock::now();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      if (watch.painted.size() < displays)
        return;
      elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    poll.start(0);
    keyboard.chord();
    loop.exec();
    capture.cancel();
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    if (elapsed < 0) {
      std::fprintf(stderr, "run %d: the overlays did not paint\n", run);
      return 1;
    }
    if (run > 0) // the first warms up
      samples.push_back(elapsed);
    std::printf("run %d: %.1f ms\n", run, elapsed);
  }
  std::printf("MEASURED %zu %.1f\n", displays, median(samples));
  return 0;
}

int outer() {
  double measured = -1;
  const bool ran = crel::bench::runInTestbed(
      CREL_TESTBED_SCRIPT, std::string("--layout 4k2 --helper ") + CREL_TEST_MONITORS, [&](const char *line) {
        size_t displays = 0;
        double ms = 0;
        if (std::sscanf(line, "MEASURED %zu %lf", &displays, &ms) == 2 && displays == 2)
          measured = ms;
      });
  if (!ran || measured < 0) {
    std::printf("GOAL hotkey_to_overlay_ms n/a %.0f MISSED\n", targetMs);
    return 1;
  }
  crel::bench::printGoal("hotkey_to_overlay_ms", measured, targetMs);
  return 0;
}

} // namespace

int main(int argc, char **argv) { return crel::bench::insideTestbed(argc, argv, inner, outer); }
