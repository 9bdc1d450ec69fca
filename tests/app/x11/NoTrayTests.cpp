#include "app/DelegateFixture.h"

#include "app/ShortcutControl.h"
#include "app/ShortcutRecorder.h"
#include "app/UpdateSettingsView.h"
#include "app/WelcomeView.h"
#include "update/StubNotificationServer.h"
#include "update/UpdateController.h"
#include "update/framework/Updater.h"

#include <QDBusConnection>
#include <QLabel>
#include <QRegularExpression>

using namespace crel;
using namespace crel::test;

namespace {

// An updater whose settings section is the real one.
class UpdatesWithSection : public FakeUpdates {
public:
  TemporarySettings settings;
  UpdateController controller{[this](update::UpdaterDelegate *d, update::UserDriverDelegate *u) {
    update::Updater::Environment env;
    env.settings = &settings.store();
    return std::make_unique<update::Updater>(env, d, u);
  }};
  QWidget *settingsSection(QWidget *parent) override { return new UpdateSettingsView(controller, nullptr, parent); }
};

// The manager registers on the test bed's display, so a recorded shortcut is saved.
class NoTray : public Delegate {
protected:
  NoTray() {
    qputenv("DISPLAY", display);
    qunsetenv("CREL_STATUS_ITEM");
    // The search gives up at once; a tray that comes later is looked for every 20 ms.
    tray = {[this] { return trayAppeared; }, 1, 3, 20};
    loginService.currentStatus = LoginItemStatus::enabled;
  }

  // Before the services it uses.
  ~NoTray() override { close(); }
  void close() {
    hideTopLevelWindows();
    delegate.reset();
  }

  // What the settings say about reaching the app: the privacy note, the
  // launch-at-login line, the update note and the line under a just-recorded shortcut.
  QStringList texts() {
    WelcomeView *view = delegate->welcomeView();
    auto *control = view->findChild<ShortcutControl *>();
    Q_EMIT control->recorder().recorded(
        *CaptureShortcut::from(0x6b, CaptureShortcut::command | CaptureShortcut::option));
    return {view->findChild<QLabel *>("privacy")->text(), view->findChild<QLabel *>("launch-at-login-detail")->text(),
            view->findChild<UpdateSettingsView *>()->installNote()->text(),
            view->findChild<QLabel *>("shortcut-message")->text()};
  }

  // Over an installed copy's login item, which is on, and the real update section.
  AppDelegate &makeInstalled() {
    delegate = std::make_unique<AppDelegate>(AppServices{shortcuts, capture, updatesWithSection, installedLogin,
                                                         session, pictures.path() + "/Crel", [this] { return clock; },
                                                         &notifications, tray});
    return *delegate;
  }

  bool trayAppeared = false;
  UpdatesWithSection updatesWithSection;
  LaunchAtLogin installedLogin{loginService, settings.store(), true};
};

} // namespace

// Whether a tray holds the app is known from the start, before any look
// for a panel still starting: the texts never send anyone to a tray that
// is not there, point to one as soon as it comes, and stop when it goes.
TEST_F(NoTray, FromTheFirstSecondTheSettingsNameTheRoadThatExists) {
  const QRegularExpression noTray("start Crel again|from this window");
  AppDelegate &app = makeInstalled();
  app.launch({false, false, true});
  ASSERT_TRUE(app.trayMissing());
  for (const QString &text : texts()) {
    EXPECT_FALSE(text.contains("tray")) << text.toStdString();
    EXPECT_TRUE(text.contains(noTray)) << text.toStdString();
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return app.statusPresentation()->hasSearchEnded(); }));
  for (const QString &text : texts())
    EXPECT_FALSE(text.contains("tray")) << text.toStdString();

  // A panel started long after: the icon, and the texts point to it.
  trayAppeared = true;
  ASSERT_TRUE(QTest::qWaitFor([&] { return !app.trayMissing(); }));
  EXPECT_EQ(app.statusPresentation()->presenter().kind(), "tray");
  for (const QString &text : texts())
    EXPECT_TRUE(text.contains("system tray")) << text.toStdString();

  // The panel quits: the icon has nowhere to be, and the texts say so again.
  trayAppeared = false;
  ASSERT_TRUE(QTest::qWaitFor([&] { return app.trayMissing(); }));
  EXPECT_EQ(app.statusPresentation()->presenter().kind(), "none");
  for (const QString &text : texts()) {
    EXPECT_FALSE(text.contains("tray")) << text.toStdString();
    EXPECT_TRUE(text.contains(noTray)) << text.toStdString();
  }

  // A tray there at the start: the texts point to it from the first second.
  close();
  trayAppeared = true;
  AppDelegate &trayed = makeInstalled();
  trayed.launch({false, false, true});
  EXPECT_FALSE(trayed.trayMissing());
  for (const QString &text : texts())
    EXPECT_TRUE(text.contains("system tray")) << text.toStdString();
}

TEST_F(NoTray, ALoginLaunchSaysOnceThatItRunsWhereNotificationsAreShown) {
  const struct {
    const char *name;
    bool atLogin;
    NotificationCenter::Authorization service;
    qsizetype posted;
  } rows[] = {
      {"at login", true, NotificationCenter::Authorization::authorized, 1},
      {"at login, no notification service", true, NotificationCenter::Authorization::notDetermined, 0},
      {"started by hand, with its settings on screen", false, NotificationCenter::Authorization::authorized, 0},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    notifications.posted.clear();
    notifications.status = row.service;
    trayAppeared = false;
    AppDelegate &app = make();
    app.launch({row.atLogin, false, true});
    // A panel may still be starting at login: the notice waits for the search.
    EXPECT_TRUE(app.trayMissing());
    EXPECT_TRUE(notifications.posted.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.statusPresentation()->hasSearchEnded(); }));
    // Looked for again and again: said once.
    QTest::qWait(100);
    ASSERT_EQ(notifications.posted.size(), row.posted);
    if (row.posted) {
      EXPECT_EQ(notifications.posted[0].title, "Crel is running");
      EXPECT_EQ(notifications.posted[0].body, "Your desktop has no system tray. Press Ctrl+Shift+2 to capture an "
                                              "area, or start Crel again to open its window.");
      // Clicking it opens the settings.
      notifications.click(notifications.posted[0].identifier);
      EXPECT_FALSE(visibleWindows("settings").isEmpty());
    }
    close();
  }
}

// On the desktop's notification service, the running notice offers its
// click alone: no action that belongs to another notification.
TEST_F(NoTray, TheRunningNoticeOffersItsClickAlone) {
  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "stub-notifications");
  ASSERT_TRUE(bus.isConnected()) << "runs on scripts/private-bus";
  StubNotificationServer server;
  ASSERT_TRUE(bus.registerObject(DBusNotificationCenter::path, &server, QDBusConnection::ExportAllContents));
  ASSERT_TRUE(bus.registerService(DBusNotificationCenter::service));
  {
    DBusNotificationCenter center;
    delegate =
        std::make_unique<AppDelegate>(AppServices{shortcuts, capture, updates, login, session,
                                                  pictures.path() + "/Crel", [this] { return clock; }, &center, tray});
    delegate->launch({true, false, true});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.notified.isEmpty(); }, 5000));
    EXPECT_EQ(server.notified[0].summary, "Crel is running");
    EXPECT_EQ(server.notified[0].actions.join(", "), "default, Open Crel");
    close();
  }
  bus.unregisterService(DBusNotificationCenter::service);
  bus.unregisterObject(DBusNotificationCenter::path);
  QDBusConnection::disconnectFromBus("stub-notifications");
}
