#include "app/UpdateSettingsView.h"
#include "app/UpdaterService.h"
#include "app/WelcomeView.h"
#include "chrome/BrandSwitch.h"
#include "chrome/BrandTextButton.h"
#include "support/FakeNotificationCenter.h"
#include "support/TestSupport.h"
#include "update/UpdateController.h"
#include "update/UpdateNotifier.h"
#include "update/framework/Updater.h"

#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace crel;

namespace {

// A started updater that never checks by itself: its feed is configured but
// automatic checks are off before it starts.
struct Section {
  QTemporaryDir root;
  test::TemporarySettings settings;
  FakeNotificationCenter center;
  UpdateNotifier notifier{center, settings.store(), {"crel"}};
  int installs = 0;
  UpdateController controller{[this](update::UpdaterDelegate *d, update::UserDriverDelegate *u) {
    update::Updater::Environment env;
    env.settings = &settings.store();
    env.bundle.directory = root.filePath("Crel.app");
    env.bundle.updates.feedUrl = QUrl("http://127.0.0.1:9/feed.xml");
    env.bundle.updates.publicEdKey = "unused";
    return std::make_unique<update::Updater>(env, d, u);
  }};
  UpdateSettingsView view{controller, &notifier};

  Section() { notifier.serve(controller); }

  void start(bool checks) {
    controller.updater().setAutomaticallyChecksForUpdates(checks);
    controller.start();
  }
  void stage(const char *version) {
    update::AppcastItem item;
    item.version = item.displayVersionString = version;
    controller.willInstallUpdateOnQuit(item, [this] { ++installs; });
  }
};

TEST(UpdateSettingsView, ButtonFollowsWhatTheControllerCanDo) {
  Section s;
  // Not started: nothing to check, nothing staged.
  EXPECT_EQ(s.view.actionButton()->text(), "Check for Updates…");
  EXPECT_FALSE(s.view.actionButton()->isEnabled());
  EXPECT_TRUE(s.view.lastCheckedLabel()->isHidden());

  // Staged before any start: the install is offered all the same, and runs.
  s.stage("2.1");
  EXPECT_EQ(s.view.actionButton()->text(), "Install Update 2.1…");
  EXPECT_TRUE(s.view.actionButton()->isEnabled());
  EXPECT_EQ(s.view.statusLabel()->text(), s.controller.status());
  s.view.actionButton()->click();
  EXPECT_EQ(s.installs, 1);
}

TEST(UpdateSettingsView, SwitchesShowWhatTheUpdaterHolds) {
  Section s;
  s.start(false);
  EXPECT_TRUE(s.view.actionButton()->isEnabled());
  EXPECT_FALSE(s.view.checksSwitch()->isChecked());
  // Off checks disable the download switch, which keeps showing its value.
  EXPECT_FALSE(s.view.downloadsSwitch()->isEnabled());
  EXPECT_EQ(s.view.downloadsSwitch()->isChecked(), s.controller.automaticDownloads());

  s.view.downloadsSwitch()->setEnabled(true);
  const bool downloads = s.controller.automaticDownloads();
  s.view.downloadsSwitch()->click();
  EXPECT_EQ(s.controller.updater().automaticallyDownloadsUpdates(), !downloads);
  EXPECT_EQ(s.view.downloadsSwitch()->isChecked(), !downloads);
  EXPECT_FALSE(s.view.downloadsSwitch()->isEnabled());
}

TEST(UpdateSettingsView, UnstartedUpdaterShowsItsOwnValueNotTheClick) {
  Section s;
  const bool checks = s.controller.automaticChecks();
  s.view.checksSwitch()->click();
  // The updater took the value, but the controller only follows a started one.
  EXPECT_EQ(s.controller.updater().automaticallyChecksForUpdates(), !checks);
  EXPECT_EQ(s.view.checksSwitch()->isChecked(), checks);
}

TEST(UpdateSettingsView, LastCheckAndNotificationRows) {
  // The locale's short date and time, to the minute, even where its own
  // short time has seconds.
  QLocale::setDefault(QLocale::c());
  Section s;
  s.start(false);
  EXPECT_TRUE(s.view.lastCheckedLabel()->isHidden());
  s.view.actionButton()->click(); // a user check records its time
  ASSERT_TRUE(QTest::qWaitFor([&] { return !s.view.lastCheckedLabel()->isHidden(); }, 5000));
  const QString last = s.view.lastCheckedLabel()->text();
  EXPECT_TRUE(QRegularExpression("^Last checked [^:]+ \\d\\d?:\\d\\d$").match(last).hasMatch()) << last.toStdString();
  QLocale::setDefault(QLocale::system());

  EXPECT_FALSE(s.view.notificationButton()->isHidden());
  EXPECT_TRUE(s.view.notificationsOnLabel()->isHidden());
  s.center.statusAfterRequest = NotificationCenter::Authorization::authorized;
  s.view.notificationButton()->click();
  EXPECT_TRUE(s.view.notificationButton()->isHidden());
  EXPECT_FALSE(s.view.notificationsOnLabel()->isHidden());
  // Its bell is the chrome's own, drawn before the text on a desktop whose icon theme has none.
  const QStringList paths = QIcon::themeSearchPaths(), fallbacks = QIcon::fallbackSearchPaths();
  QIcon::setThemeSearchPaths({});
  QIcon::setFallbackSearchPaths({});
  Section plain;
  plain.center.status = NotificationCenter::Authorization::authorized;
  plain.notifier.refreshPermission();
  plain.view.show();
  QIcon::setThemeSearchPaths(paths);
  QIcon::setFallbackSearchPaths(fallbacks);
  QWidget *on = plain.view.notificationsOnLabel();
  const QLabel *text = on->findChildren<QLabel *>().last();
  ASSERT_EQ(text->text(), "Notifications on");
  const QImage drawn = on->grab(QRect(0, 0, text->x(), on->height())).toImage();
  int ink = 0;
  for (int y = 0; y < drawn.height(); ++y)
    for (int x = 0; x < drawn.width(); ++x)
      ink += qAlpha(drawn.pixel(x, y)) > 100 && qGray(drawn.pixel(x, y)) < 160;
  EXPECT_GT(ink, 6) << "no bell before \"Notifications on\"";

  Section failing;
  failing.center.requestError = "No notification service is running.";
  failing.view.notificationButton()->click();
  EXPECT_EQ(failing.view.statusLabel()->text(),
            "Notifications could not be enabled: No notification service is running.");
  EXPECT_FALSE(failing.view.notificationButton()->isHidden());
}

// A copy built without a feed never updates: the section says so and its
// switches and buttons offer nothing.
TEST(UpdateSettingsView, ACopyWithoutAFeedOffersNothing) {
  test::TemporarySettings settings;
  FakeNotificationCenter center;
  UpdateNotifier notifier{center, settings.store(), {"crel"}};
  UpdateController controller{[&](update::UpdaterDelegate *d, update::UserDriverDelegate *u) {
    update::Updater::Environment env;
    env.settings = &settings.store();
    return std::make_unique<update::Updater>(env, d, u);
  }};
  UpdateSettingsView view{controller, &notifier};
  for (BrandSwitch *toggle : {view.checksSwitch(), view.downloadsSwitch()}) {
    EXPECT_FALSE(toggle->isEnabled()) << toggle->text().toStdString();
    EXPECT_FALSE(toggle->isChecked()) << toggle->text().toStdString();
  }
  EXPECT_EQ(view.statusLabel()->text(), "Updates are not available for this copy. Install a released version to get "
                                        "updates.");
  EXPECT_FALSE(view.actionButton()->isEnabled());
  EXPECT_TRUE(view.notificationButton()->isHidden());
}

} // namespace
