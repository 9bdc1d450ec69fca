#include "../portal/CodedDesktop.h"
#include "X11TestScreens.h"
#include "capture/CaptureSnapshot.h"
#include "capture/CaptureSource.h"
#include "document/CrelError.h"
#include "platform/display/X11RootGrabber.h"
#include "platform/display/X11SnapshotProvider.h"
#include "platform/display/X11WindowServerInfo.h"
#include "platform/files/AppIdentity.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <memory>

using namespace crel;
using namespace crel::test;

namespace {

class X11Capture : public ::testing::Test {
protected:
  void SetUp() override {
    if (layout().isEmpty() || QGuiApplication::platformName() != "xcb")
      GTEST_SKIP() << "needs scripts/xvfb-testbed";
  }
};

} // namespace

TEST_F(X11Capture, StillsAreEachDisplaysOwnPixelsAtNativeSize) {
  const QList<QScreen *> screens = QGuiApplication::screens();
  paintRootPattern();

  for (bool shm : {true, false}) {
    SCOPED_TRACE(shm ? "shared memory" : "plain read");
    X11SnapshotProvider provider;
    provider.setSharedMemoryAllowed(shm);
    const Stills stills = take(provider);
    ASSERT_FALSE(stills.error) << describe(stills.error).toStdString();
    ASSERT_EQ(stills.snapshots.size(), size_t(screens.size()));
    for (int i = 0; i < screens.size(); ++i) {
      const CaptureSnapshot &still = stills.snapshots[size_t(i)];
      const qreal dpr = screens[i]->devicePixelRatio();
      EXPECT_EQ(still.displayID, SnapshotProvider::displayID(screens[i]));
      EXPECT_EQ(still.screenFrame.toQRectF(), QRectF(screens[i]->geometry()));
      EXPECT_EQ(still.image.size(), screens[i]->geometry().size() * dpr);
      EXPECT_EQ(still.image.devicePixelRatio(), dpr);
      EXPECT_EQ(still.image.format(), QImage::Format_RGB32);
      // Every pixel, so an upscaled, shifted or another display's read fails.
      EXPECT_EQ(coded::mismatches(still.image, i, {0, 0}), 0);
    }
  }
}

TEST_F(X11Capture, LaterGrabsNeverOverwriteStillsInUse) {
  X11SnapshotProvider provider;
  const auto grab = [&](QRgb colour) {
    paintRoot(colour);
    std::vector<CaptureSnapshot> snapshots = take(provider).snapshots;
    EXPECT_FALSE(snapshots.empty());
    return snapshots;
  };
  std::vector<CaptureSnapshot> first = grab(colours[0]);
  const std::vector<CaptureSnapshot> second = grab(colours[1]);
  ASSERT_FALSE(first.empty() || second.empty());
  EXPECT_EQ(first[0].image.pixel(10, 10), colours[0]);
  EXPECT_EQ(second[0].image.pixel(10, 10), colours[1]);
  first.clear(); // its memory may now be reused
  const std::vector<CaptureSnapshot> third = grab(colours[0]);
  ASSERT_FALSE(third.empty());
  EXPECT_EQ(second[0].image.pixel(10, 10), colours[1]);
  EXPECT_EQ(third[0].image.pixel(10, 10), colours[0]);
}

TEST_F(X11Capture, AScreenWithoutItsMonitorIsADisplayChange) {
  X11RootGrabber grabber;
  QScreen *screen = QGuiApplication::primaryScreen();
  const X11SnapshotProvider::Screen real{1, screen->name(), QRectF(screen->geometry()), screen->devicePixelRatio()};
  EXPECT_EQ(X11SnapshotProvider::grabScreens(grabber, {real}).size(), 1u);

  auto kindOf = [&](const std::vector<X11SnapshotProvider::Screen> &screens) {
    try {
      X11SnapshotProvider::grabScreens(grabber, screens);
    } catch (const SnapshotError &e) {
      return e.kind();
    }
    return SnapshotError::Kind::failed;
  };
  if (layout() == "dual") {
    auto gone = real;
    gone.name = "UNPLUGGED";
    EXPECT_EQ(kindOf({real, gone}), SnapshotError::Kind::displayChanged);
  }
  auto rescaled = real;
  rescaled.scaleFactor = real.scaleFactor * 1.5;
  EXPECT_EQ(kindOf({rescaled}), SnapshotError::Kind::displayChanged);
  EXPECT_EQ(kindOf({}), SnapshotError::Kind::noDisplay);
}

TEST_F(X11Capture, NoServerMeansNoDisplay) {
  X11RootGrabber grabber("not-a-display-name");
  try {
    grabber.grab(QRect(0, 0, 1, 1));
    FAIL() << "grabbed without a server";
  } catch (const SnapshotError &e) {
    EXPECT_EQ(e.kind(), SnapshotError::Kind::noDisplay);
  }
  X11WindowServerInfo info("not-a-display-name");
  EXPECT_FALSE(info.frontmostApplication());
  EXPECT_TRUE(info.windowsFrontToBack().empty());
}

TEST_F(X11Capture, TheFrontWindowNamesTheCaptureSource) {
  const QRect g = QGuiApplication::primaryScreen()->geometry();
  auto behind =
      colouredWindow(QRect(g.topLeft() + QPoint(600, 200), QSize(300, 200)), colours[1], Qt::Window, "Behind");
  auto report = colouredWindow(QRect(g.topLeft() + QPoint(200, 200), QSize(300, 200)), colours[0], Qt::Window,
                               QString::fromUtf8("Report: Q3/Q4 — draft"));
  report->raise();
  report->activateWindow();
  const quint32 reportId = quint32(report->winId());

  X11WindowServerInfo info;
  std::optional<RunningApplication> front;
  ASSERT_TRUE(QTest::qWaitFor([&] {
    front = info.frontmostApplication();
    return front && front->window == reportId;
  }));
  EXPECT_EQ(front->processIdentifier, QCoreApplication::applicationPid());
  EXPECT_EQ(front->localizedName, AppIdentity::name());
  EXPECT_EQ(info.windowTitle(reportId), QString::fromUtf8("Report: Q3/Q4 — draft"));

  const std::vector<WindowInfo> windows = info.windowsFrontToBack();
  auto position = [&](quint32 id) {
    return std::find_if(windows.begin(), windows.end(), [&](const WindowInfo &w) { return w.window == id; });
  };
  ASSERT_NE(position(reportId), windows.end());
  ASSERT_NE(position(quint32(behind->winId())), windows.end());
  EXPECT_LT(position(reportId), position(quint32(behind->winId())));
  EXPECT_EQ(position(reportId)->layer, 0);

  const CaptureSource source = CaptureSource::current(front, info);
  EXPECT_EQ(source.applicationName, AppIdentity::name());
  EXPECT_EQ(source.windowTitle, QString::fromUtf8("Report: Q3/Q4 — draft"));
}

TEST_F(X11Capture, AnUntrustedClientIsRefusedAndToldApartFromFailures) {
  std::exception_ptr error;
  const bool offered = asUntrustedClient([&] {
    try {
      X11RootGrabber().grab(QRect(0, 0, 16, 16));
    } catch (...) {
      error = std::current_exception();
    }
  });
  if (!offered)
    GTEST_SKIP() << "the server offers no untrusted authorisation";
  ASSERT_TRUE(error) << "an untrusted client read the screen";
  EXPECT_TRUE(CaptureSnapshot::isPermissionError(error));
  // The same server still serves a trusted client.
  X11RootGrabber trustedGrabber;
  EXPECT_EQ(trustedGrabber.grab(QRect(0, 0, 16, 16)).size(), QSize(16, 16));
}

TEST_F(X11Capture, RequestsRunInOrderAndACancelledOneNeverAnswers) {
  X11SnapshotProvider provider;
  QObject receiver;
  std::vector<int> answered;
  QEventLoop loop;
  provider.takeDisplays(&receiver, [&](auto stills, auto) { answered.push_back(stills.empty() ? -1 : 1); });
  provider.takeDisplays(&receiver, [&](auto, auto) { answered.push_back(2); }).cancel();
  provider.takeDisplays(&receiver, [&](auto stills, auto) {
    answered.push_back(stills.empty() ? -3 : 3);
    loop.quit();
  });
  QTimer::singleShot(20000, &loop, &QEventLoop::quit);
  loop.exec();
  QCoreApplication::processEvents(); // the cancelled one, had it been queued, came before the last
  EXPECT_EQ(answered, (std::vector<int>{1, 3}));
}

namespace {

// A bare X window of another "process", made over our own connection.
struct ForeignWindow {
  xcb_connection_t *c = xcb_connect(nullptr, nullptr);
  xcb_window_t id = 0;

  xcb_atom_t atom(const char *name) {
    auto *reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, quint16(strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : 0;
    free(reply);
    return a;
  }
  void set(xcb_atom_t property, xcb_atom_t type, int format, const void *data, int count) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, property, type, quint8(format), quint32(count), data);
  }
  ForeignWindow(const QByteArray &latin1Title, const char *type) {
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    id = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, id, screen->root, 50, 50, 120, 80, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    const quint32 pid = 1;
    set(atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, &pid, 1);
    set(XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, latin1Title.constData(), int(latin1Title.size()));
    set(XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, "probe\0Probe\0", 12);
    if (type) {
      const xcb_atom_t t = atom(type);
      set(atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, &t, 1);
    }
    xcb_map_window(c, id);
    xcb_flush(c);
  }
  ~ForeignWindow() { xcb_disconnect(c); }
};

std::optional<WindowInfo> findWindow(X11WindowServerInfo &info, quint32 id) {
  std::optional<WindowInfo> found;
  (void)QTest::qWaitFor([&] {
    for (const WindowInfo &w : info.windowsFrontToBack())
      if (w.window == id)
        found = w;
    return found.has_value();
  });
  return found;
}

} // namespace

TEST_F(X11Capture, DescribesWindowsOfOtherProgramsFromTheirProperties) {
  X11WindowServerInfo info;
  ForeignWindow normal("Caf\xe9 menu", nullptr);
  ForeignWindow dock("Panel", "_NET_WM_WINDOW_TYPE_DOCK");
  const auto first = findWindow(info, normal.id);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->ownerPID, 1);
  EXPECT_EQ(first->layer, 0);
  EXPECT_EQ(first->name, QString::fromUtf8("Café menu"));
  const auto second = findWindow(info, dock.id);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->layer, 1);

  const RunningApplication init{1, "init", 0};
  EXPECT_EQ(CaptureSource::current(init, info).windowTitle, QString::fromUtf8("Café menu"));
}
