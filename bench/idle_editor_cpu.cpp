// Processor time of the real application with one editor open on a
// 1600x1000 screenshot, left alone for 8 s, as a percentage of one core:
// an editor nobody touches should cost nothing.
//
// Run plainly, it starts the X test bed (openbox, one 1920x1200 screen) and
// runs itself inside, where it launches build/Crel.app/bin/crel on the image
// with a private home, waits for the editor window and for the start-up work
// to end, and reads the process's user and system time from /proc.

#include "BenchSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

constexpr double idleSeconds = 8, targetPercent = 1;
std::optional<double> measuredPercent;

// utime + stime of `pid`, in clock ticks.
std::optional<long long> cpuTicks(qint64 pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')'); // the command name may hold spaces
  if (close == std::string::npos)
    return std::nullopt;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14)
      utime = std::stoll(field);
    else if (i == 15)
      stime = std::stoll(field);
  }
  return utime + stime;
}

xcb_atom_t atom(xcb_connection_t *c, const char *name) {
  xcb_intern_atom_reply_t *reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
  const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  free(reply);
  return value;
}

// Whether the window manager lists a viewable window of `pid`.
bool hasMappedWindow(xcb_connection_t *c, qint64 pid) {
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  const xcb_atom_t clients = atom(c, "_NET_CLIENT_LIST"), wmPid = atom(c, "_NET_WM_PID");
  xcb_get_property_reply_t *list =
      xcb_get_property_reply(c, xcb_get_property(c, 0, root, clients, XCB_ATOM_WINDOW, 0, 1024), nullptr);
  bool found = false;
  if (list) {
    const auto *windows = static_cast<const xcb_window_t *>(xcb_get_property_value(list));
    const int n = xcb_get_property_value_length(list) / int(sizeof(xcb_window_t));
    for (int i = 0; i < n && !found; ++i) {
      xcb_get_property_reply_t *owner =
          xcb_get_property_reply(c, xcb_get_property(c, 0, windows[i], wmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr);
      xcb_get_window_attributes_reply_t *attributes =
          xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, windows[i]), nullptr);
      found = owner && xcb_get_property_value_length(owner) == 4 &&
              *static_cast<const uint32_t *>(xcb_get_property_value(owner)) == uint32_t(pid) && attributes &&
              attributes->map_state == XCB_MAP_STATE_VIEWABLE;
      free(owner);
      free(attributes);
    }
  }
  free(list);
  return found;
}

// A dark screenshot with lines of light "text", as a terminal or editor shows.
QImage screenshot() {
  QImage image(1600, 1000, QImage::Format_RGB32);
  image.fill(QColor(30, 30, 34));
  QPainter painter(&image);
  painter.setPen(QColor(230, 230, 230));
  for (int y = 40; y < 1000; y += 28)
    painter.drawText(40, y, QStringLiteral("idle editors cost nothing: 0123456789 ").repeated(6));
  return image;
}

void BM_IdleEditor(benchmark::State &state) {
  for (auto _ : state) {
    QTemporaryDir home;
    const QString imagePath = home.filePath(QStringLiteral("screenshot.png"));
    if (!screenshot().save(imagePath)) {
      state.SkipWithError("cannot write the screenshot");
      return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
      const QString dir = home.filePath(QString::fromLatin1(name));
      QDir().mkpath(dir);
      env.insert(QString::fromLatin1(name), dir);
    }
    env.remove(QStringLiteral("CREL_BUNDLE_DIR"));
    QProcess app;
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start(QStringLiteral(CREL_BENCH_BUNDLE_DIR "/bin/crel"), {imagePath});
    if (!app.waitForStarted()) {
      state.SkipWithError("the application did not start");
      return;
    }
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    QElapsedTimer clock;
    clock.start();
    while (!hasMappedWindow(c, app.processId()) && clock.elapsed() < 20'000)
      QThread::msleep(50);
    xcb_disconnect(c);
    // The first save and paints end: wait for half a second without work
    // (giving up after 15 s, when something never stops).
    clock.restart();
    std::optional<long long> before = cpuTicks(app.processId());
    while (clock.elapsed() < 15'000) {
      QThread::msleep(500);
      const std::optional<long long> now = cpuTicks(app.processId());
      if (now == before)
        break;
      before = now;
    }
    const std::optional<long long> start = cpuTicks(app.processId());
    QThread::msleep(int(idleSeconds * 1000));
    const std::optional<long long> end = cpuTicks(app.processId());
    app.kill();
    app.waitForFinished();
    if (!start || !end) {
      state.SkipWithError("the application ended early");
      return;
    }
    const double seconds = double(*end - *start) / double(sysconf(_SC_CLK_TCK));
    state.SetIterationTime(seconds);
    measuredPercent = 100 * seconds / idleSeconds;
  }
}

BENCHMARK(BM_IdleEditor)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

int inner(int argc, char **argv) {
  QGuiApplication app(argc, argv);
  return crel::bench::runAndReportMeasured(argc, argv, measuredPercent);
}

int outer() { return crel::bench::goalFromTestbed(CREL_TESTBED_SCRIPT, "idle_editor_cpu_pct", targetPercent); }

} // namespace

int main(int argc, char **argv) { return crel::bench::insideTestbed(argc, argv, inner, outer); }
