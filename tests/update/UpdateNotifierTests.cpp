#include "StubNotificationServer.h"
#include "update/UpdateController.h"
#include "update/UpdateNotifier.h"
#include "update/framework/Updater.h"

#include "platform/files/AppIdentity.h"
#include "platform/files/SettingsStore.h"
#include "support/FakeNotificationCenter.h"
#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QImage>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

using namespace crel;
using Authorization = NotificationCenter::Authorization;

namespace {

const QDateTime t0(QDate(2026, 5, 1), QTime(12, 0), Qt::UTC);
const QStringList plainRun{"crel"};

struct Rig {
  test::TemporarySettings settings;
  FakeNotificationCenter center;
  QDateTime now = t0;
  QStringList arguments = plainRun;
  bool ready = false;
  std::optional<QString> available;
  int clicks = 0;
  QStringList errors;
  std::unique_ptr<UpdateNotifier> notifier;

  explicit Rig(Authorization status = Authorization::authorized, QStringList args = plainRun) {
    center.status = status;
    arguments = std::move(args);
    notifier = std::make_unique<UpdateNotifier>(center, settings.store(), arguments, [this] { return now; });
    notifier->readyToInstall = [this] { return ready; };
    notifier->availableVersion = [this] { return available; };
    notifier->onClick = [this] { ++clicks; };
    notifier->onError = [this](const QString &s) { errors << s; };
  }
  QStringList postedTitles() const {
    QStringList titles;
    for (const auto &r : center.posted)
      titles << r.title;
    return titles;
  }
};

// A second post of the same version waits a day; another version goes out
// at once. The keys name the last post, and its time.
TEST(NotificationRules, SameVersionWaitsADay) {
  const struct {
    const char *name;
    const char *secondVersion;
    qint64 after; // seconds after the first post
    bool postsAgain;
  } cases[] = {{"same version just before a day", "2.0", 86399, false},
               {"same version after a day", "2.0", 86400, true},
               {"other version at once", "2.1", 1, true},
               {"clock set back", "2.0", -10, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.notifier->notify("2.0");
    ASSERT_EQ(rig.center.posted.size(), 1);
    rig.now = t0.addSecs(c.after);
    rig.notifier->notify(c.secondVersion);
    EXPECT_EQ(rig.center.posted.size(), c.postsAgain ? 2 : 1);
    EXPECT_EQ(rig.settings.store().stringForKey(UpdateNotifier::versionKey), c.postsAgain ? c.secondVersion : "2.0");
    EXPECT_EQ(rig.settings.store().value(UpdateNotifier::dateKey).toDateTime(), c.postsAgain ? rig.now : t0);
  }
}

// A refused post stores nothing, so the next one goes out; stored values of
// the wrong kind do not suppress a post either.
TEST(NotificationRules, OnlyAPostThatWentOutSuppressesTheNext) {
  Rig rig;
  rig.center.addError = "server gone";
  rig.notifier->notify("2.0");
  EXPECT_FALSE(rig.settings.store().contains(UpdateNotifier::versionKey));
  rig.center.addError.reset();
  rig.notifier->notify("2.0");
  EXPECT_EQ(rig.center.posted.size(), 1);

  Rig mistyped;
  mistyped.settings.store().setString(UpdateNotifier::versionKey, "2.0");
  mistyped.settings.store().setString(UpdateNotifier::dateKey, t0.toString(Qt::ISODate));
  mistyped.notifier->notify("2.0");
  EXPECT_EQ(mistyped.center.posted.size(), 1);
  // And a stored date survives a fresh store over the same file.
  SettingsStore reread(mistyped.settings.path());
  EXPECT_EQ(reread.value(UpdateNotifier::dateKey).toDateTime(), t0);
}

TEST(NotificationRules, PostsOnlyWhenAllowedAndNotInATestRun) {
  struct Case {
    Authorization status;
    QStringList arguments;
    bool posts;
  } cases[] = {
      {Authorization::authorized, plainRun, true},
      {Authorization::provisional, plainRun, true},
      {Authorization::notDetermined, plainRun, false},
      {Authorization::denied, plainRun, false},
      {Authorization::ephemeral, plainRun, false},
      {Authorization::authorized, {"crel", "--update-acceptance"}, false},
      {Authorization::authorized, {"crel", "--acceptance-test"}, false},
      {Authorization::authorized, {"crel", "--startup-test"}, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.status) << ' ' << c.arguments.join(' ').toStdString());
    Rig rig(c.status, c.arguments);
    rig.notifier->notify("2.0");
    EXPECT_EQ(rig.center.posted.size(), c.posts ? 1 : 0);
    EXPECT_EQ(rig.settings.store().contains(UpdateNotifier::versionKey), c.posts);
    EXPECT_EQ(rig.settings.store().contains(UpdateNotifier::dateKey), c.posts);
  }
}

// The title follows readiness at post time; a click on our notification only
// asks for the dialog.
TEST(NotificationRules, TitleFollowsReadinessAndOnlyOurClickCounts) {
  Rig rig;
  rig.notifier->notify("2.0");
  rig.ready = true;
  rig.notifier->notify("2.1");
  const QString name = AppIdentity::name();
  EXPECT_EQ(rig.postedTitles(), QStringList({name + " 2.0 is available", name + " 2.1 is ready to install"}));
  EXPECT_EQ(rig.center.posted.at(0).identifier, "software-update");
  EXPECT_EQ(rig.center.posted.at(0).body,
            "Click to review the update and relaunch when you’re ready. Your open crels will be restored.");

  rig.center.click("someone-else");
  EXPECT_EQ(rig.clicks, 0);
  rig.center.click("software-update");
  EXPECT_EQ(rig.clicks, 1);
  rig.notifier->withdraw();
  EXPECT_EQ(rig.center.removed, QStringList{"software-update"});
}

TEST(NotificationPermission, GrantPostsTheKnownVersionAndFailureSaysWhyButTestRunsNeverAsk) {
  Rig granted(Authorization::notDetermined);
  granted.available = "2.1";
  granted.center.statusAfterRequest = Authorization::authorized;
  int changes = 0;
  QObject::connect(granted.notifier.get(), &UpdateNotifier::permissionChanged, [&] { ++changes; });
  granted.notifier->enableNotifications();
  EXPECT_TRUE(granted.notifier->notificationsAllowed());
  EXPECT_FALSE(granted.notifier->notificationDenied());
  EXPECT_GE(changes, 1);
  EXPECT_EQ(granted.center.posted.size(), 1);
  EXPECT_TRUE(granted.errors.isEmpty());

  Rig failed(Authorization::notDetermined);
  failed.available = "2.1";
  failed.center.requestError = "No notification service is running.";
  failed.notifier->enableNotifications();
  EXPECT_EQ(failed.errors, QStringList{"Notifications could not be enabled: No notification service is running."});
  EXPECT_EQ(failed.center.statusQueries, 2); // refreshed, then asked again for the post
  EXPECT_FALSE(failed.notifier->notificationsAllowed());
  EXPECT_TRUE(failed.center.posted.isEmpty());

  // A test run never asks the notification service.
  Rig isolated(Authorization::authorized, {"crel", "--acceptance-test"});
  isolated.notifier->refreshPermission();
  EXPECT_EQ(isolated.center.statusQueries, 0);
}

// Runs on a session bus of its own (CTest starts one with scripts/private-bus).
TEST(DesktopNotifications, PostReplaceClickAndCloseOverTheBus) {
  if (!QDBusConnection::sessionBus().isConnected())
    GTEST_SKIP() << "no session bus";
  DBusNotificationCenter center;
  auto status = [&center] {
    std::optional<Authorization> answer;
    center.authorizationStatus([&](Authorization a) { answer = a; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));
    return answer.value_or(Authorization::denied);
  };
  // No server: not authorised, and asking says why.
  EXPECT_EQ(status(), Authorization::notDetermined);
  std::optional<std::optional<QString>> requested;
  center.requestAuthorization([&](const std::optional<QString> &e) { requested = e; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return requested.has_value(); }, 5000));
  EXPECT_EQ(*requested, std::optional<QString>("No notification service is running."));

  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "stub-notifications");
  ASSERT_TRUE(bus.isConnected());
  StubNotificationServer server;
  ASSERT_TRUE(bus.registerObject(DBusNotificationCenter::path, &server, QDBusConnection::ExportAllContents));
  ASSERT_TRUE(bus.registerService(DBusNotificationCenter::service));
  EXPECT_EQ(status(), Authorization::authorized);

  // The whole chain: a scheduled find announced, a click, a user check.
  test::TemporarySettings settings;
  update::Updater::Environment environment;
  environment.settings = &settings.store();
  UpdateController controller([&](update::UpdaterDelegate *d, update::UserDriverDelegate *u) {
    return std::make_unique<update::Updater>(environment, d, u);
  });
  bool busy = true; // a user check then leaves a sentence saying why it waits
  controller.isBusy = [&] { return busy; };
  UpdateNotifier notifier(center, settings.store(), plainRun, [] { return t0; });
  notifier.serve(controller);
  update::AppcastItem found;
  found.version = found.displayVersionString = "2.0";
  controller.willHandleShowingUpdate(false, found, {update::UserUpdateState::Stage::notDownloaded, false});
  ASSERT_TRUE(QTest::qWaitFor([&] { return settings.store().contains(UpdateNotifier::versionKey); }, 5000));
  // The end-to-end run checks the title and the click that opens the dialog.
  ASSERT_EQ(server.notified.size(), 1);
  EXPECT_EQ(server.notified.at(0).replacesId, 0u);
  EXPECT_EQ(server.notified.at(0).actions.join(", "), "default, Review") << "its click, named for what it does";
  // The application's own icon, whether or not the desktop's theme has it.
  const QUrl icon(server.notified.at(0).appIcon);
  EXPECT_TRUE(icon.isLocalFile() && !QImage(icon.toLocalFile()).isNull()) << icon.toString().toStdString();

  // A new version replaces the shown notification rather than adding one.
  found.version = found.displayVersionString = "2.1";
  controller.willHandleShowingUpdate(false, found, {update::UserUpdateState::Stage::notDownloaded, false});
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.notified.size() == 2; }, 5000));
  EXPECT_EQ(server.notified.at(1).replacesId, 42u);

  Q_EMIT server.ActionInvoked(7, "default"); // not ours
  Q_EMIT server.ActionInvoked(42, "default");
  const QString waiting = "Finish your capture or close the dialog, then check for updates.";
  ASSERT_TRUE(QTest::qWaitFor([&] { return controller.status() == waiting; }, 5000));

  // Closed by the server: the next post is a new notification.
  Q_EMIT server.NotificationClosed(42, 2);
  found.version = found.displayVersionString = "2.2";
  status(); // a round trip on the bus, so the closing signal has arrived
  controller.willHandleShowingUpdate(false, found, {update::UserUpdateState::Stage::notDownloaded, false});
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.notified.size() == 3; }, 5000));
  EXPECT_EQ(server.notified.at(2).replacesId, 0u);

  controller.didReceiveUserAttention(found);
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.closed == QList<uint>{43}; }, 5000));
  bus.unregisterService(DBusNotificationCenter::service);
  bus.unregisterObject(DBusNotificationCenter::path);
  QDBusConnection::disconnectFromBus("stub-notifications");
}

} // namespace
