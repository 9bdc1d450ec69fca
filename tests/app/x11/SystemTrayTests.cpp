#include "../DelegateFixture.h"

#include "app/ForwardedLaunch.h"
#include "app/StatusItem.h"
#include "app/WelcomeView.h"
#include "platform/desktop/SystemTray.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QWidget>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

using namespace crel;

namespace {

// org.kde.StatusNotifierWatcher as a panel serves it. `hold`, when set, keeps
// every question waiting until it is released.
class StatusNotifierWatcher : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
  std::atomic<bool> host = false;
  QSemaphore *hold = nullptr;
  bool hostRegistered() const {
    if (hold) {
      hold->acquire();
      hold->release();
    }
    return host;
  }
public Q_SLOTS:
  void RegisterStatusNotifierItem(const QString &) {}
};

// The watcher says a host came or went, as panels do.
void announce(QDBusConnection &bus, const char *signal) {
  bus.send(QDBusMessage::createSignal(SystemTray::watcherPath, SystemTray::watcherService, signal));
}

// A watcher on a connection and thread of its own that keeps every question
// waiting until it answers.
class HungWatcher {
public:
  HungWatcher() {
    thread_.start();
    watcher.hold = &never_;
    watcher.moveToThread(&thread_);
    registered = bus.registerObject(SystemTray::watcherPath, &watcher, QDBusConnection::ExportAllProperties) &&
                 bus.registerService(SystemTray::watcherService);
  }
  ~HungWatcher() {
    answer();
    bus.unregisterService(SystemTray::watcherService);
    bus.unregisterObject(SystemTray::watcherPath);
    QDBusConnection::disconnectFromBus("hung-panel");
    thread_.quit();
    thread_.wait();
  }
  void answer() { never_.release(); }

  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "hung-panel");
  StatusNotifierWatcher watcher;
  bool registered = false;

private:
  QThread thread_;
  QSemaphore never_;
};

// Owns (or gives up) the XEmbed manager selection of screen 0 with `window`.
void ownTraySelection(xcb_window_t window) {
  xcb_connection_t *c = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
  const QByteArray name = "_NET_SYSTEM_TRAY_S0";
  xcb_intern_atom_reply_t *atom =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr);
  ASSERT_TRUE(atom);
  xcb_set_selection_owner(c, window, atom->atom, XCB_CURRENT_TIME);
  std::free(atom);
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // a round trip: it took effect
}

// The delegate over the desktop's own tray, in a process of its own: Qt
// picks the kind of its tray icons once per process.
class TrayRoute : public test::Delegate {
protected:
  TrayRoute() { qunsetenv("CREL_STATUS_ITEM"); }
  QString privacyText() const { return delegate->welcomeView()->findChild<QLabel *>("privacy")->text(); }
};

} // namespace

// Runs under the X test bed: its own X server and session bus, no panel. The
// panel answers from this very thread, so a question that waited for its
// answer could never get one: the tray is followed without waiting.
TEST(SystemTray, AStatusNotifierHostOrAnXEmbedManagerIsATrayWhileItLasts) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "runs on scripts/private-bus";
  SystemTray tray;
  QTest::qWait(100);
  EXPECT_FALSE(tray.available()) << "a bare desktop";

  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "panel");
  StatusNotifierWatcher watcher;
  ASSERT_TRUE(bus.registerObject(SystemTray::watcherPath, &watcher,
                                 QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(bus.registerService(SystemTray::watcherService));
  QTest::qWait(100);
  EXPECT_FALSE(tray.available()) << "a watcher without a host shows nothing";
  watcher.host = true;
  announce(bus, "StatusNotifierHostRegistered");
  EXPECT_TRUE(QTest::qWaitFor([&] { return tray.available(); }, 5000)) << "a host came";
  watcher.host = false;
  announce(bus, "StatusNotifierHostUnregistered");
  EXPECT_TRUE(QTest::qWaitFor([&] { return !tray.available(); }, 5000)) << "the host went";
  watcher.host = true;
  announce(bus, "StatusNotifierHostRegistered");
  ASSERT_TRUE(QTest::qWaitFor([&] { return tray.available(); }, 5000));
  bus.unregisterService(SystemTray::watcherService);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !tray.available(); }, 5000)) << "the panel went";

  // A watcher that never answers counts as none and holds nothing up: an
  // XEmbed tray that comes and goes meanwhile is followed.
  HungWatcher hung;
  hung.watcher.host = true;
  ASSERT_TRUE(hung.registered);
  announce(hung.bus, "StatusNotifierHostRegistered");
  QSignalSpy changes(&tray, &SystemTray::changed);
  QWidget manager;
  ownTraySelection(xcb_window_t(manager.winId()));
  EXPECT_TRUE(QTest::qWaitFor([&] { return tray.available(); }, 5000)) << "an XEmbed tray";
  EXPECT_TRUE(tray.hasXEmbedManager());
  EXPECT_FALSE(tray.hasStatusNotifierHost());
  ownTraySelection(XCB_WINDOW_NONE);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !tray.available(); }, 5000)) << "the XEmbed tray went";
  EXPECT_EQ(changes.size(), 2);

  bus.unregisterObject(SystemTray::watcherPath);
  QDBusConnection::disconnectFromBus("panel");
}

// Qt's first status icon reads the watcher and waits for its answer: with a
// watcher that never answers, the icon waits instead of the application.
// Once made, the icon keeps to the kind of tray Qt picked, and the texts
// follow that kind alone.
TEST_F(TrayRoute, TheIconWaitsForTheWatcherAndKeepsToTheKindOfTrayQtPicked) {
  ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "runs on scripts/private-bus";
  HungWatcher hung;
  ASSERT_TRUE(hung.registered);
  QWidget manager;
  ownTraySelection(xcb_window_t(manager.winId()));

  QElapsedTimer elapsed;
  elapsed.start();
  AppDelegate &app = make();
  app.launch({false, false, true});
  QTest::qWait(200); // the desktop's answers come meanwhile
  bool answered = false;
  app.handleForwarded({}, [&](bool) { answered = true; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return answered; }, 1000));
  EXPECT_LT(elapsed.elapsed(), 1000) << "a forwarded reopen is answered at once";
  EXPECT_EQ(app.statusPresentation()->presenter().kind(), "none") << "the watcher has not answered";
  EXPECT_FALSE(privacyText().contains("tray")) << privacyText().toStdString();

  // It answers, without a host: Qt's icon goes to the XEmbed tray.
  hung.answer();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !app.trayMissing(); }, 15000));
  EXPECT_TRUE(privacyText().contains("system tray")) << privacyText().toStdString();

  // Only a StatusNotifier host now: not where Qt's icon goes.
  hung.watcher.host = true;
  announce(hung.bus, "StatusNotifierHostRegistered");
  ownTraySelection(XCB_WINDOW_NONE);
  EXPECT_TRUE(QTest::qWaitFor([&] { return app.trayMissing(); }, 5000));
  QTest::qWait(300);
  EXPECT_TRUE(app.trayMissing());
  EXPECT_EQ(app.statusPresentation()->presenter().kind(), "none");
  EXPECT_FALSE(privacyText().contains("tray")) << privacyText().toStdString();

  test::hideTopLevelWindows();
  delegate.reset();
}

#include "SystemTrayTests.moc"
