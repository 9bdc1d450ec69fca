#include "platform/files/AppIdentity.h"
#include "support/TestSupport.h"
#include "update/UpdateController.h"
#include "update/framework/Updater.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace crel;
using update::AppcastItem;
using update::UpdateError;
using update::UpdateErrorCode;

namespace {

const QDateTime t0(QDate(2026, 5, 1), QTime(12, 0), Qt::UTC);

AppcastItem item(const char *version) {
  AppcastItem i;
  i.version = version;
  i.displayVersionString = version;
  return i;
}

QString ready(const QString &version) {
  return "Version " + version + " is ready. It installs by itself when no screenshot is open.";
}

// The front end over an updater that is never started; the test plays the
// update layer by calling the delegate's callbacks itself.
struct Front {
  test::TemporarySettings settings;
  UpdateController controller{[this](update::UpdaterDelegate *d, update::UserDriverDelegate *u) {
    update::Updater::Environment env;
    env.settings = &settings.store();
    return std::make_unique<update::Updater>(env, d, u);
  }};
  bool busy = false, idle = true;
  int changes = 0, installs = 0;
  QStringList announced;

  Front() {
    controller.isBusy = [this] { return busy; };
    controller.isIdle = [this] { return idle; };
    controller.onChange = [this] { ++changes; };
    controller.announce = [this](const QString &v) { announced << v; };
  }
  void stage(const char *version = "2.1") {
    controller.willInstallUpdateOnQuit(item(version), [this] { ++installs; });
  }
};

struct Poll {
  int at; // seconds after t0
  bool idle;
  bool busy;
};

// The first quiet poll notes the time; a poll at least a minute later
// installs, provided every poll in between was quiet; one poll in use
// starts the wait again.
TEST(UpdateController, InstallsOnlyAfterAQuietMinute) {
  const struct {
    const char *name;
    bool staged;
    std::vector<Poll> polls;
    int installedAtPoll; // index of the poll that installs; -1: none
  } cases[] = {
      {"nothing staged", false, {{0, true, false}, {60, true, false}, {120, true, false}}, -1},
      {"a busy poll restarts the wait",
       true,
       {{0, true, false},
        {15, true, true},
        {30, true, false},
        {45, true, false},
        {60, true, false},
        {75, true, false},
        {90, true, false}},
       6},
      {"idle but capturing never installs",
       true,
       {{0, true, true}, {60, true, true}, {120, true, true}, {600, true, true}},
       -1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Front f;
    if (c.staged)
      f.stage();
    EXPECT_EQ(f.controller.isIdleTimerRunning(), c.staged);
    int installedAt = -1;
    for (size_t i = 0; i < c.polls.size(); ++i) {
      f.idle = c.polls[i].idle;
      f.busy = c.polls[i].busy;
      f.controller.installIfIdle(t0.addSecs(c.polls[i].at));
      if (f.installs > 0 && installedAt < 0)
        installedAt = int(i);
    }
    EXPECT_EQ(installedAt, c.installedAtPoll);
    EXPECT_LE(f.installs, 1);
    if (!c.staged) {
      EXPECT_FALSE(f.controller.isIdleTimerRunning());
    }
    if (installedAt >= 0) {
      EXPECT_EQ(f.controller.status(), "Installing the update…");
    }
  }
}

TEST(UpdateController, MenuTitles) {
  Front f;
  EXPECT_EQ(f.controller.menuTitle(), "Check for Updates…");
  f.controller.didFindValidUpdate(item("2.1"));
  EXPECT_EQ(f.controller.menuTitle(), "Update Available: 2.1…");
  EXPECT_EQ(f.controller.status(), "Downloading version 2.1…");
  f.stage();
  EXPECT_EQ(f.controller.menuTitle(), "Install Update 2.1…");
  EXPECT_EQ(f.controller.status(), ready("2.1"));
  f.controller.willFinishUpdateSession();
  EXPECT_EQ(f.controller.menuTitle(), "Check for Updates…");
  EXPECT_FALSE(f.controller.canInstallNow());
  EXPECT_TRUE(f.controller.hasStagedUpdate()); // never cleared
}

// The menu item installs a staged update at once, even where the quiet rule
// would wait; while busy it only says when; once installing it checks instead.
// A refused quit leaves the update ready for the quiet rule, which installs again.
TEST(UpdateController, MenuActionInstallsOrExplains) {
  Front f;
  f.stage();
  f.busy = true;
  f.controller.updateMenuAction();
  EXPECT_EQ(f.installs, 0);
  EXPECT_EQ(f.controller.status(), "The update will install when your capture or dialog is finished.");
  f.busy = false;
  f.idle = false;
  const int before = f.changes;
  f.controller.updateMenuAction();
  EXPECT_EQ(f.installs, 1);
  EXPECT_EQ(f.controller.status(), "Installing the update…");
  EXPECT_EQ(f.changes, before + 1);

  f.controller.willInstallUpdate(item("2.1"));
  EXPECT_TRUE(f.controller.installing());
  EXPECT_FALSE(f.controller.isIdleTimerRunning());
  f.controller.updateMenuAction();
  f.controller.installIfIdle(t0);
  EXPECT_EQ(f.installs, 1);

  f.controller.installationDeferred(item("2.1"));
  EXPECT_FALSE(f.controller.installing());
  EXPECT_EQ(f.controller.status(), ready("2.1"));
  EXPECT_TRUE(f.controller.isIdleTimerRunning());
  f.idle = true;
  f.controller.installIfIdle(t0);
  f.controller.installIfIdle(t0.addSecs(60));
  EXPECT_EQ(f.installs, 2);
}

// The update layer finds another instance running from the copy: the
// application stays, the status says when the update installs, and the
// quiet rule waits another quiet minute before it tries again.
TEST(UpdateController, AnInstallThatWaitsForOtherDisplaysSaysSo) {
  Front f;
  f.controller.willInstallUpdateOnQuit(item("2.1"), [&f] {
    ++f.installs;
    f.controller.installationWaitsForOtherInstances(item("2.1"));
  });
  const QString waits = "Version 2.1 is ready. It installs when " + AppIdentity::name() + " quits on every display.";
  f.controller.updateMenuAction();
  EXPECT_EQ(f.installs, 1);
  EXPECT_EQ(f.controller.status(), waits);
  EXPECT_TRUE(f.controller.canInstallNow());
  f.controller.installIfIdle(t0);
  f.controller.installIfIdle(t0.addSecs(60));
  EXPECT_EQ(f.installs, 2);
  f.controller.installIfIdle(t0.addSecs(75));
  EXPECT_EQ(f.installs, 2);
  f.controller.installIfIdle(t0.addSecs(135));
  EXPECT_EQ(f.installs, 3);
  EXPECT_EQ(f.controller.status(), waits);
}

struct AbortCase {
  const char *name;
  UpdateErrorCode code;
  bool shown;
};

TEST(UpdateController, AbortsDropTheBlockAndOnlyRealFailuresSpeak) {
  for (const AbortCase &c : {AbortCase{"noUpdate", UpdateErrorCode::noUpdate, false},
                             AbortCase{"signature", UpdateErrorCode::signature, true}}) {
    SCOPED_TRACE(c.name);
    Front f;
    f.stage();
    const QString before = f.controller.status();
    const int changes = f.changes;
    f.controller.didAbortWithError(UpdateError(c.code, "Bad signature."));
    EXPECT_EQ(f.controller.lastErrorCode(), int(c.code));
    EXPECT_FALSE(f.controller.canInstallNow());
    EXPECT_FALSE(f.controller.isIdleTimerRunning());
    EXPECT_TRUE(f.controller.readyToInstall());
    EXPECT_EQ(f.controller.status(),
              c.shown ? "Update couldn’t finish. Your current app is unchanged. Bad signature." : before);
    EXPECT_EQ(f.changes, changes + (c.shown ? 1 : 0));
  }
}

TEST(UpdateController, OnlyScheduledFindsAreAnnounced) {
  Front f;
  f.controller.willHandleShowingUpdate(true, item("2.1"), {update::UserUpdateState::Stage::notDownloaded, true});
  EXPECT_TRUE(f.announced.isEmpty());
  f.controller.willHandleShowingUpdate(false, item("2.2"), {update::UserUpdateState::Stage::downloaded, false});
  EXPECT_EQ(f.announced, QStringList{"2.2"});
  EXPECT_EQ(f.controller.availableVersion(), "2.2");
}

// A relaunch asked for while busy waits, polling, until the application is
// free; when free it is not postponed at all.
TEST(UpdateController, RelaunchWaitsForTheBusyApplication) {
  Front f;
  int resumed = 0;
  EXPECT_FALSE(f.controller.shouldPostponeRelaunch(item("2.1"), [&] { ++resumed; }));
  int asked = 0;
  f.controller.isBusy = [&] { return ++asked, f.busy; };
  f.busy = true;
  EXPECT_TRUE(f.controller.shouldPostponeRelaunch(item("2.1"), [&] { ++resumed; }));
  EXPECT_EQ(f.controller.status(), "The update will continue when your capture or dialog is finished.");
  ASSERT_TRUE(QTest::qWaitFor([&] { return asked >= 3; }, 5000)); // two polls found it busy
  EXPECT_EQ(resumed, 0);
  f.busy = false;
  EXPECT_TRUE(QTest::qWaitFor([&] { return resumed == 1; }, 5000));
  EXPECT_FALSE(f.controller.isRelaunchPostponed());
}

TEST(UpdateController, BusyRefusesAUserCheckAndTestRunsNeverStart) {
  Front f;
  f.busy = true;
  f.controller.checkForUpdates();
  EXPECT_EQ(f.controller.status(), "Finish your capture or close the dialog, then check for updates.");

  EXPECT_TRUE(UpdateController::isIsolatedTest({"crel", "--acceptance-test", "/x"}));
  EXPECT_TRUE(UpdateController::isIsolatedTest({"crel", "--login-startup-test"}));
  EXPECT_FALSE(UpdateController::isIsolatedTest({"crel", "--capture"}));
}

// A copy built without a feed says so in the user's words, and on standard
// error only on its first run, never when it is a build run in its tree.
TEST(UpdateController, ACopyWithoutAFeedSaysSoOnceAndNeverToADeveloper) {
  static QStringList warnings;
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &m) {
        if (type == QtWarningMsg)
          warnings << m;
      });
  QTemporaryDir root;
  ASSERT_TRUE(QDir(root.path()).mkpath("build/Crel.app") && QDir(root.path()).mkpath("opt/Crel.app"));
  QFile(root.filePath("build/CMakeCache.txt")).open(QIODevice::WriteOnly);
  const struct {
    const char *bundle;
    int warnings;
  } rows[]{{"opt/Crel.app", 1}, {"build/Crel.app", 0}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.bundle);
    warnings.clear();
    test::TemporarySettings settings;
    for (int run = 0; run < 2; ++run) {
      UpdateController controller([&](update::UpdaterDelegate *d, update::UserDriverDelegate *u) {
        update::Updater::Environment env;
        env.settings = &settings.store();
        env.bundle.directory = root.filePath(row.bundle);
        return std::make_unique<update::Updater>(env, d, u);
      });
      controller.start();
      EXPECT_FALSE(controller.isAvailable());
      EXPECT_EQ(controller.status(), UpdateController::unavailableSentence());
      EXPECT_FALSE(controller.status().contains("SUFeedURL"));
    }
    EXPECT_EQ(warnings.size(), row.warnings) << warnings.join('\n').toStdString();
  }
  qInstallMessageHandler(previous);
}

} // namespace
