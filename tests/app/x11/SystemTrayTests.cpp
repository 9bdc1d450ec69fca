#include "platform/desktop/SystemTray.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QThread>
#include <QWidget>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace crel;

namespace {

// org.kde.StatusNotifierWatcher as a panel serves it.
class StatusNotifierWatcher : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
  bool host = false;
  bool hostRegistered() const { return host; }
public Q_SLOTS:
  void RegisterStatusNotifierItem(const QString &) {}
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

} // namespace

// Runs under the X test bed: its own X server and session bus, no panel.
TEST(SystemTray, AStatusNotifierHostOrAnXEmbedManagerIsATray) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "runs on scripts/private-bus";
  EXPECT_FALSE(SystemTray::available()) << "a bare desktop";

  // The panel answers from a thread of its own: the question blocks this one.
  QThread panel;
  panel.start();
  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "panel");
  StatusNotifierWatcher watcher;
  watcher.moveToThread(&panel);
  ASSERT_TRUE(bus.registerObject(SystemTray::watcherPath, &watcher,
                                 QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(bus.registerService(SystemTray::watcherService));
  EXPECT_FALSE(SystemTray::available()) << "a watcher without a host shows nothing";
  watcher.host = true;
  EXPECT_TRUE(SystemTray::available());
  bus.unregisterService(SystemTray::watcherService);
  EXPECT_FALSE(SystemTray::available()) << "the panel went";

  QWidget manager;
  ownTraySelection(xcb_window_t(manager.winId()));
  EXPECT_TRUE(SystemTray::available()) << "an XEmbed tray";
  ownTraySelection(XCB_WINDOW_NONE);
  EXPECT_FALSE(SystemTray::available());
  bus.unregisterObject(SystemTray::watcherPath);
  QDBusConnection::disconnectFromBus("panel");
  panel.quit();
  panel.wait();
}

#include "SystemTrayTests.moc"
