#include "platform/desktop/SystemTray.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QWidget>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

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
  bool host = false;
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
  QThread hung;
  hung.start();
  QDBusConnection hungBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "hung-panel");
  StatusNotifierWatcher silent;
  QSemaphore never;
  silent.host = true;
  silent.hold = &never;
  silent.moveToThread(&hung);
  ASSERT_TRUE(hungBus.registerObject(SystemTray::watcherPath, &silent, QDBusConnection::ExportAllProperties));
  ASSERT_TRUE(hungBus.registerService(SystemTray::watcherService));
  announce(hungBus, "StatusNotifierHostRegistered");
  QSignalSpy changes(&tray, &SystemTray::changed);
  QWidget manager;
  ownTraySelection(xcb_window_t(manager.winId()));
  EXPECT_TRUE(QTest::qWaitFor([&] { return tray.available(); }, 5000)) << "an XEmbed tray";
  EXPECT_TRUE(tray.hasXEmbedManager());
  EXPECT_FALSE(tray.hasStatusNotifierHost());
  ownTraySelection(XCB_WINDOW_NONE);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !tray.available(); }, 5000)) << "the XEmbed tray went";
  EXPECT_EQ(changes.size(), 2);
  never.release();
  hungBus.unregisterService(SystemTray::watcherService);
  hungBus.unregisterObject(SystemTray::watcherPath);
  QDBusConnection::disconnectFromBus("hung-panel");
  hung.quit();
  hung.wait();

  bus.unregisterObject(SystemTray::watcherPath);
  QDBusConnection::disconnectFromBus("panel");
}

#include "SystemTrayTests.moc"
