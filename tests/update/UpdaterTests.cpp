#include "SmallFileSystem.h"
#include "UpdateFixture.h"
#include "platform/files/FileLock.h"
#include "platform/files/SettingsStore.h"
#include "update/framework/CopyLocks.h"
#include "update/framework/PrivateFile.h"
#include "update/framework/UpdateInstaller.h"
#include "update/framework/Updater.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace crel::update;
using K = ArchiveEntry::Kind;

namespace {

// Writes down every callback, in order, as short lines.
struct Recorder : UpdaterDelegate, UserDriverDelegate {
  QStringList events;
  QStringList failures; // the abort sentences
  std::function<void()> installBlock;
  bool finished = false;

  void didFindValidUpdate(const AppcastItem &item) override { events << "found " + item.version; }
  bool willInstallUpdateOnQuit(const AppcastItem &item, std::function<void()> block) override {
    events << "installOnQuit " + item.version;
    installBlock = std::move(block);
    return true;
  }
  void willInstallUpdate(const AppcastItem &) override { events << "willInstall"; }
  void willScheduleUpdateCheckAfterDelay(double seconds) override {
    events << "schedule " + QString::number(seconds, 'f', 0);
  }
  void willNotScheduleUpdateCheck() override { events << "noSchedule"; }
  void didNotFindUpdate(const UpdateError &e) override { events << QString("notFound %1").arg(e.rawCode()); }
  void didAbortWithError(const UpdateError &e) override {
    events << QString("abort %1").arg(e.rawCode());
    failures << e.description();
  }
  void installationDeferred(const AppcastItem &) override { events << "deferred"; }
  void installationWaitsForOtherInstances(const AppcastItem &) override { events << "waitsForOthers"; }
  void willHandleShowingUpdate(bool handle, const AppcastItem &, const UserUpdateState &state) override {
    events << QString("show %1 %2").arg(handle).arg(int(state.stage));
  }
  void willFinishUpdateSession() override {
    events << "finish";
    finished = true;
  }
};

struct Session : UpdateFixture {
  Recorder recorder;
  QDateTime now = QDateTime(QDate(2026, 5, 1), QTime(12, 0), Qt::UTC);
  int quitRequests = 0;
  std::unique_ptr<Updater> updater;

  void start(bool automaticDownloads = true) {
    Updater::Environment env;
    env.bundle = crel::update::BundleInfo::load(appDirectory());
    env.cacheDirectory = cache();
    env.settings = &settings.store();
    env.now = [this] { return now; };
    env.requestQuit = [this] { ++quitRequests; };
    env.feedTimeLimitMs = 10000;
    env.archiveTimeLimitMs = 10000;
    env.instanceName = ":1";
    updater = std::make_unique<Updater>(env, &recorder, &recorder);
    updater->setAutomaticallyDownloadsUpdates(automaticDownloads);
    QString error;
    ASSERT_TRUE(updater->startUpdater(&error)) << error.toStdString();
  }
  // Publishes `version`, starts, and waits until it is staged for install on quit.
  void stage(const char *version) {
    publish(version);
    start();
    ASSERT_TRUE(settle());
    ASSERT_TRUE(recorder.installBlock);
  }
  // Until a cycle ends: idle again, or stopped at an update.
  bool settle() {
    return QTest::qWaitFor(
        [this] {
          const auto p = updater->phase();
          return recorder.finished || p == Updater::Phase::staged || p == Updater::Phase::available;
        },
        20000);
  }
};

struct Cycle {
  const char *name;
  int error; // the abort's code; 0: the update is staged
  std::function<void(Session &)> publish;
};

void PrintTo(const Cycle &c, std::ostream *os) { *os << c.name; }

class UpdateCycle : public testing::TestWithParam<Cycle> {};

// One scheduled check at start-up (no check was ever made) against a feed
// with each fault: the callbacks in order, the phase it stops in, and no
// staging folder or other stray left beside the application unless staged.
// The refusals the end-to-end run makes on the real application (signatures,
// a cut download, another identifier, escaping paths) are not repeated here.
TEST_P(UpdateCycle, EndsWithItsOwnOutcome) {
  Session s;
  GetParam().publish(s);
  s.start();
  ASSERT_TRUE(s.settle()) << s.recorder.events.join(", ").toStdString();
  const int error = GetParam().error;
  const QStringList failed{"found 101", QString("abort %1").arg(error), "finish", "schedule 3600"};
  const QStringList staged{"found 101", "installOnQuit 101", "show 0 1"};
  EXPECT_EQ(s.recorder.events, error ? failed : staged);
  EXPECT_EQ(s.updater->phase(), error ? Updater::Phase::idle : Updater::Phase::staged);
  EXPECT_EQ(crel::update::BundleInfo::load(s.appDirectory()).version, "100");
  if (!error) {
    ASSERT_EQ(s.strays().size(), 1);
    EXPECT_TRUE(s.strays().first().startsWith(".Crel.app.staged-"));
    EXPECT_EQ(crel::update::BundleInfo::load(s.updater->stagedBundleDirectory()).version, "101");
  } else {
    EXPECT_EQ(s.strays(), QStringList());
    EXPECT_FALSE(QDir(s.cache() + "/101").exists());
  }
}

// The application folder a release of `version` holds.
QList<ArchiveEntry> release(const Session &s, const char *version) {
  return applicationEntries("Crel.app", UpdateFixture::infoJson(version, s.keys.publicKey));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UpdateCycle,
    testing::Values(
        Cycle{"Update", 0, [](Session &s) { s.publish("101"); }},
        Cycle{"WrongChecksum", 3001,
              [](Session &s) {
                AppcastItem item = s.publish("101");
                item.sha256 = QByteArray(32, '\x5a');
                s.serveFeed({item});
              }},
        Cycle{"LongerThanTheFeedSays", 2002,
              [](Session &s) {
                s.publish("101", {}, {-1, 1 << 20});
              }},
        Cycle{"SymlinkOutOfTheTree", 3000,
              [](Session &s) {
                s.publish("101", release(s, "101") << ArchiveEntry{K::symlink, "Crel.app/cache", {}, "../../cache"});
              }},
        Cycle{"OtherVersionInside", 3002, [](Session &s) { s.publish("101", release(s, "102")); }},
        Cycle{"LinkedInfoJson", 3002,
              [](Session &s) {
                auto entries = release(s, "101");
                entries[1].name = "Crel.app/identity.json";
                s.publish("101", entries << ArchiveEntry{K::symlink, "Crel.app/Info.json", {}, "identity.json"});
              }},
        Cycle{"NoExecutable", 3002,
              [](Session &s) {
                auto entries = release(s, "101");
                entries.removeLast();
                s.publish("101", entries);
              }}),
    [](const auto &info) { return std::string(info.param.name); });

// Failures say what went wrong in the updater's words, and a download cut
// short by quitting leaves nothing in the cache.
TEST(Updater, FailuresSayWhatWentWrongAndLeaveNothingBehind) {
  const struct {
    const char *name;
    std::function<void(Session &)> arrange;
    const char *sentence; // the start of the abort's sentence
  } cases[] = {
      {"interrupted",
       [](Session &s) {
         s.publish("101", {}, {100, -1});
       },
       "The download of the update was interrupted"},
      {"oversized feed", [](Session &s) { s.server.serve("/appcast.json", QByteArray(3 << 20, ' ')); },
       "The update information is larger than 1 MB"},
      {"cache unusable",
       [](Session &s) {
         s.publish("101");
         crel::test::writeFile(s.cache(), "not a folder");
       },
       "The update could not be saved"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Session s;
    c.arrange(s);
    s.start();
    ASSERT_TRUE(s.settle());
    ASSERT_EQ(s.recorder.failures.size(), 1) << s.recorder.events.join(", ").toStdString();
    EXPECT_TRUE(s.recorder.failures.first().startsWith(c.sentence)) << s.recorder.failures.first().toStdString();
    EXPECT_TRUE(s.recorder.failures.first().endsWith('.'));
  }
  Session s;
  s.publish("101", {}, {100, -1, true});
  s.start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return s.server.requestCount("/archive.tar.gz") == 1; }, 20000));
  s.updater.reset();
  EXPECT_EQ(QDir(s.cache()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

// Releases are published behind redirects. The redirect's own headers say
// nothing of the release's length; and every hop is held to the rule the
// feed's addresses are: https, or plain http to a literal loopback address.
TEST(Updater, RedirectsAreFollowedOnlyToAddressesTheRulePermits) {
  // The archive behind a chain of `hops` redirects, the first to /storage1/.
  const auto behindRedirects = [](int hops, bool emptyLength) {
    return [=](Session &s) {
      s.publish("101");
      QString at = "/archive.tar.gz";
      for (int i = 1; i <= hops; ++i) {
        const QString storage = QString("/storage%1/archive.tar.gz").arg(i);
        s.server.moveBehindRedirect(at, storage, emptyLength);
        at = storage;
      }
    };
  };
  const auto redirectArchive = [](Session &s, const QUrl &to) {
    s.publish("101");
    s.server.redirect("/archive.tar.gz", to);
  };
  const struct {
    const char *name;
    std::function<void(Session &)> arrange;
    int error;               // the abort's code; 0: the update is staged
    const char *sentence;    // the start of the abort's sentence
    const char *neverServed; // a path the redirect names, never requested
  } cases[] = {
      {"302 with Content-Length: 0", behindRedirects(1, true), 0, nullptr, nullptr},
      {"two redirects, each with Content-Length: 0", behindRedirects(2, true), 0, nullptr, nullptr},
      {"302 without a length", behindRedirects(1, false), 0, nullptr, nullptr},
      {"feed to http://localhost",
       [](Session &s) {
         s.publish("101");
         s.server.moveBehindRedirect("/appcast.json", "/signed.json");
         QUrl to = s.server.url("/signed.json");
         to.setHost("localhost");
         s.server.redirect("/appcast.json", to);
       },
       1002, "The update server sent Crel to an address it does not trust: http://localhost:", "/signed.json"},
      {"archive to a plain-HTTP host name",
       [&](Session &s) { redirectArchive(s, QUrl("http://releases.example.invalid/archive.tar.gz")); }, 2001,
       "The update server sent Crel to an address it does not trust: http://releases.example.invalid/", nullptr},
      {"archive to a file: URL",
       [&](Session &s) {
         const QString local = s.root.filePath("archive.tar.gz");
         redirectArchive(s, QUrl::fromLocalFile(local));
         crel::test::writeFile(local, buildArchive(release(s, "101")));
       },
       2001, "The update server sent Crel to an address it does not trust: file://", nullptr},
      {"a redirect loop",
       [&](Session &s) {
         redirectArchive(s, s.server.url("/again"));
         s.server.redirect("/again", s.server.url("/archive.tar.gz"));
       },
       2001, "The update server redirected Crel more than 10 times", nullptr},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Session s;
    c.arrange(s);
    s.start();
    ASSERT_TRUE(s.settle()) << s.recorder.events.join(", ").toStdString();
    if (!c.error) {
      EXPECT_EQ(s.updater->phase(), Updater::Phase::staged) << s.recorder.failures.join(" ").toStdString();
      EXPECT_EQ(s.server.requestCount("/storage1/archive.tar.gz"), 1);
      continue;
    }
    EXPECT_EQ(s.updater->phase(), Updater::Phase::idle);
    EXPECT_TRUE(s.recorder.events.contains(QString("abort %1").arg(c.error)))
        << s.recorder.events.join(", ").toStdString();
    ASSERT_EQ(s.recorder.failures.size(), 1);
    EXPECT_TRUE(s.recorder.failures.first().startsWith(c.sentence)) << s.recorder.failures.first().toStdString();
    EXPECT_LE(s.server.requestCount("/archive.tar.gz"), 11);
    if (c.neverServed) {
      EXPECT_EQ(s.server.requestCount(c.neverServed), 0);
    }
    EXPECT_EQ(s.strays(), QStringList());
  }
}

// A release that unpacks to more than the disk holds is refused before a
// byte of it is written.
TEST(Updater, AReleaseLargerThanTheFreeSpaceIsRefusedBeforeExtraction) {
  Session s;
  SmallFileSystem disk(s.apps(), 2 << 20);
  if (!disk.mounted())
    GTEST_SKIP() << "mounting a small file system needs root";
  UpdateFixture::writeApplication(
      s.appDirectory(), UpdateFixture::infoJson("100", s.keys.publicKey, s.server.url("/appcast.json")), "#!/bin/sh\n");
  const qint64 used = disk.usedBytes();
  s.publish("101", release(s, "101") << ArchiveEntry{K::file, "Crel.app/bomb", QByteArray(8 << 20, 0)});
  s.start();
  ASSERT_TRUE(s.settle());
  EXPECT_EQ(s.recorder.events, QStringList({"found 101", "abort 3000", "finish", "schedule 3600"}));
  ASSERT_EQ(s.recorder.failures.size(), 1);
  EXPECT_TRUE(s.recorder.failures.first().startsWith("Not enough free space to install the update: "))
      << s.recorder.failures.first().toStdString();
  EXPECT_LE(disk.usedBytes(), used);
  EXPECT_EQ(s.strays(), QStringList());
}

// Answers the offer of a user's check with one choice.
struct AnsweringDriver : UpdateUserDriver {
  UpdateChoice choice;
  explicit AnsweringDriver(UpdateChoice c) : choice(c) {}
  void showUpdateFound(const AppcastItem &, const UserUpdateState &, std::function<void(UpdateChoice)> reply) override {
    reply(choice);
  }
  void showUpdateNotFound(const UpdateError &) override {}
  void showReadyToInstall(const AppcastItem &) override {}
  void showUpdaterError(const UpdateError &) override {}
};

// Without automatic downloads a scheduled find stops at "available" and
// downloads nothing. The user's answer to it: installing downloads it; "later" offers
// it again at the next scheduled check; skipping records the version, so
// scheduled checks pass over it while the user's own check still offers it.
TEST(Updater, TheAnswerToAnOfferDecidesTheNextChecks) {
  struct Case {
    UpdateChoice choice;
    Updater::Phase afterAnswer;
    std::optional<QString> skipped;
    Updater::Phase afterScheduledCheck;
  } cases[] = {
      {UpdateChoice::install, Updater::Phase::staged, std::nullopt, Updater::Phase::staged},
      {UpdateChoice::later, Updater::Phase::idle, std::nullopt, Updater::Phase::available},
      {UpdateChoice::skip, Updater::Phase::idle, "101", Updater::Phase::idle},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(int(c.choice));
    Session s;
    AnsweringDriver driver(c.choice);
    s.publish("101");
    s.start(false);
    ASSERT_TRUE(s.settle());
    ASSERT_EQ(s.updater->phase(), Updater::Phase::available);
    EXPECT_EQ(s.server.requestCount("/archive.tar.gz"), 0);
    s.updater->setUserDriver(&driver);
    s.updater->checkForUpdates();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.updater->phase() == c.afterAnswer; }, 20000));
    EXPECT_EQ(s.updater->skippedVersion(), c.skipped);

    s.updater->setUserDriver(nullptr);
    s.recorder.finished = false;
    s.updater->checkForUpdatesInBackground();
    ASSERT_TRUE(s.settle());
    EXPECT_EQ(s.updater->phase(), c.afterScheduledCheck);
    if (c.skipped) {
      EXPECT_EQ(s.updater->lastErrorCode(), int(UpdateErrorCode::noUpdate));
      s.updater->checkForUpdates();
      EXPECT_TRUE(QTest::qWaitFor([&] { return s.updater->phase() == Updater::Phase::staged; }, 20000))
          << "the user's own check offers a skipped version";
    }
  }
}

// The install block asks for a quit once per request; a refused quit leaves
// the update staged and the block usable again.
TEST(Updater, ARefusedQuitKeepsTheStagedUpdate) {
  Session s;
  ASSERT_NO_FATAL_FAILURE(s.stage("101"));
  s.recorder.installBlock();
  s.recorder.installBlock();
  EXPECT_EQ(s.quitRequests, 1);
  s.updater->quitRefused();
  EXPECT_EQ(s.updater->phase(), Updater::Phase::staged);
  EXPECT_TRUE(QFileInfo(s.updater->stagedBundleDirectory() + "/bin/crel").isExecutable());
  s.recorder.installBlock();
  EXPECT_EQ(s.quitRequests, 2);
  EXPECT_TRUE(s.recorder.events.contains("deferred"));
  // Calling the block after the updater is gone does nothing.
  const auto block = s.recorder.installBlock;
  s.updater.reset();
  block();
  EXPECT_EQ(s.quitRequests, 2);
}

// "Install Update" (or a quiet install) while another display's instance
// runs from the copy: this instance is not asked to quit, says the update
// waits for the others, and installs once it is alone.
TEST(Updater, AnInstallWithAnotherInstanceOnTheCopyKeepsThisOneRunning) {
  Session s;
  ASSERT_NO_FATAL_FAILURE(s.stage("101"));
  OtherInstance other(s.appDirectory());
  ASSERT_TRUE(other.isRunning());
  s.recorder.installBlock();
  EXPECT_EQ(s.quitRequests, 0);
  EXPECT_EQ(s.recorder.events.count("waitsForOthers"), 1);
  EXPECT_EQ(s.updater->phase(), Updater::Phase::staged);
  other.quit();
  s.recorder.installBlock();
  EXPECT_EQ(s.quitRequests, 1);
  EXPECT_EQ(s.recorder.events.count("waitsForOthers"), 1);
}

const QStringList checked{"notFound 1001", "abort 1001", "finish", "schedule 3600"};

// Whose result the helper left: this copy's, another copy's, or the one
// result every copy shared before results named their copy.
enum class Whose { self, otherCopy, shared };
// What is at the result's name: the file, or something planted there.
enum class Planted { nothing, fifo, linkToFifo };

struct Start {
  const char *name;
  std::optional<qint64> lastCheckAgo; // seconds before now
  bool automaticChecks;
  const char *result; // the result left by the helper
  QStringList events;
  int feedRequests;
  QStringList strays;
  Whose whose = Whose::self;
  bool resultStays = false; // left alone, as the backup of the copy it names
  int starts = 1;           // launches of this copy starting at the same moment
  Planted planted = Planted::nothing;
};

void PrintTo(const Start &c, std::ostream *os) { *os << c.name; }

class AtStart : public testing::TestWithParam<Start> {};

// Starts `count` launches of the copy at once, each in a process of its own.
void startTogether(Session &s, int count) {
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < count; ++i) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(gate[1]);
      char byte;
      (void)!::read(gate[0], &byte, 1);
      s.start();
      QCoreApplication::processEvents();
      ::_exit(0);
    }
    children.push_back(child);
  }
  ::close(gate[0]);
  ::close(gate[1]); // opens the gate for all of them
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
}

// A check due now runs at once, one not yet due is scheduled for the rest of
// the interval, and with checks off nothing is scheduled. The launch after an
// install reads its copy's result once: a failed install is reported and
// keeps the backup, a finished one's backup is removed, whole, by one launch;
// another copy's result and backup stay for that copy. Staging folders left
// by an earlier run are removed.
TEST_P(AtStart, SchedulesAndReadsTheInstallResult) {
  const Start &c = GetParam();
  Session s;
  s.publish("100");
  if (c.lastCheckAgo)
    s.settings.store().setString("SULastCheckTime", s.now.addSecs(-*c.lastCheckAgo).toString(Qt::ISODateWithMs));
  s.settings.store().setValue("SUEnableAutomaticChecks", c.automaticChecks);
  const QString copy = c.whose == Whose::otherCopy ? s.root.filePath("elsewhere/Crel.app") : s.appDirectory();
  const QString backup = QFileInfo(copy).absolutePath() + "/.Crel.app.previous-99";
  const QString result =
      c.whose == Whose::shared ? s.cache() + "/install-result.json" : Updater::installResultFile(s.cache(), copy);
  if (c.result) {
    // A whole application, so that removing it takes a while.
    for (int folder = 0; folder < 40; ++folder)
      for (int file = 0; file < 25; ++file)
        crel::test::writeFile(QString("%1/lib/%2/%3.so").arg(backup).arg(folder).arg(file), QByteArray(512, 'x'));
    QDir().mkpath(s.apps() + "/.Crel.app.staged-101-XYZ/Crel.app");
    crel::update::PrivateFile::write(result, c.result);
  }
  const QString fifo = c.planted == Planted::linkToFifo ? s.root.filePath("elsewhere.fifo") : result;
  // A writer for whoever opens the FIFO: a start blocked in that open goes
  // on, and the test fails instead of hanging.
  std::atomic<bool> opened{false};
  std::jthread writer;
  if (c.planted != Planted::nothing) {
    QDir().mkpath(s.cache());
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    if (c.planted == Planted::linkToFifo) {
      ASSERT_TRUE(QFile::link(fifo, result));
    }
    writer = std::jthread([&opened, native = QFile::encodeName(fifo)](std::stop_token stop) {
      for (; !stop.stop_requested(); std::this_thread::sleep_for(std::chrono::milliseconds(20)))
        if (const int fd = ::open(native.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0)
          opened = true, ::close(fd);
    });
  }
  if (c.starts > 1) {
    startTogether(s, c.starts);
  } else {
    s.start();
    if (c.feedRequests > 0)
      ASSERT_TRUE(s.settle());
    else
      QCoreApplication::processEvents();
    EXPECT_EQ(s.recorder.events, c.events);
  }
  EXPECT_EQ(s.server.requestCount("/appcast.json"), c.feedRequests);
  EXPECT_EQ(s.strays(), c.strays);
  EXPECT_EQ(QFile::exists(result), c.resultStays);
  if (c.resultStays) {
    EXPECT_EQ(crel::test::contents(result), c.result);
  }
  if (c.whose == Whose::otherCopy) {
    EXPECT_EQ(QDir(backup + "/lib").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 40);
  }
  if (writer.joinable()) {
    writer = {};
    EXPECT_FALSE(opened) << "the start opened the FIFO";
    EXPECT_FALSE(QFileInfo(result).isSymLink()) << "the link is removed";
    EXPECT_EQ(QFileInfo::exists(fifo), fifo != result) << "only what was at the result's name is removed";
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, AtStart,
                         testing::Values(Start{"NeverChecked", std::nullopt, true, nullptr, checked, 1, {}},
                                         Start{"CheckedLongAgo", 7200, true, nullptr, checked, 1, {}},
                                         Start{"CheckedRecently", 600, true, nullptr, {"schedule 3000"}, 0, {}},
                                         Start{"ClockSetBack", -600, true, nullptr, checked, 1, {}},
                                         Start{"ChecksOff", std::nullopt, false, nullptr, {"noSchedule"}, 0, {}},
                                         Start{"InstallFailed",
                                               std::nullopt,
                                               false,
                                               R"({"status":"failed","from":"99","to":"100","error":"Disk full."})",
                                               {"noSchedule", "abort 4005"},
                                               0,
                                               {".Crel.app.previous-99"}},
                                         Start{"Installed",
                                               std::nullopt,
                                               false,
                                               R"({"status":"installed","from":"99","to":"100","error":""})",
                                               {"noSchedule"},
                                               0,
                                               {}},
                                         // The shared result of an earlier version, of a copy that installed
                                         // another version: nothing failed here, and it is that copy's.
                                         Start{"InstalledElsewhere",
                                               std::nullopt,
                                               false,
                                               R"({"status":"installed","from":"99","to":"105","error":""})",
                                               {"noSchedule"},
                                               0,
                                               {".Crel.app.previous-99"},
                                               Whose::shared,
                                               true},
                                         Start{"AnEarlierVersionsSharedResult",
                                               std::nullopt,
                                               false,
                                               R"({"status":"installed","from":"99","to":"100","error":""})",
                                               {"noSchedule"},
                                               0,
                                               {},
                                               Whose::shared},
                                         Start{"AnotherCopysResult",
                                               std::nullopt,
                                               false,
                                               R"({"status":"installed","from":"99","to":"100","error":""})",
                                               {"noSchedule"},
                                               0,
                                               {},
                                               Whose::otherCopy,
                                               true},
                                         Start{"TwoStartsOnOneResult",
                                               std::nullopt,
                                               false,
                                               R"({"status":"installed","from":"99","to":"100","error":""})",
                                               {},
                                               0,
                                               {},
                                               Whose::self,
                                               false,
                                               2},
                                         // Planted where the result goes: no result, and gone.
                                         Start{"AFifoAsTheResult", std::nullopt, false, nullptr, {"noSchedule"}, 0, {},
                                               Whose::self, false, 1, Planted::fifo},
                                         Start{"ALinkToAFifoAsTheResult", std::nullopt, false, nullptr,
                                               {"noSchedule"}, 0, {}, Whose::self, false, 1, Planted::linkToFifo},
                                         Start{"AFifoAsTheSharedResult", std::nullopt, false, nullptr, {"noSchedule"},
                                               0, {}, Whose::shared, false, 1, Planted::fifo},
                                         // Junk says nothing of how an install went: gone, like a FIFO.
                                         Start{"JunkAsTheResult", std::nullopt, false, "{\"status", {"noSchedule"}, 0,
                                               {".Crel.app.previous-99"}},
                                         Start{"JunkAsTheSharedResult", std::nullopt, false, "{\"status",
                                               {"noSchedule"}, 0, {".Crel.app.previous-99"}, Whose::shared}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

namespace {

struct Owned {
  const char *name;
  bool held;           // a running instance or a waiting installer holds it
  const char *pending; // a job kept for the last instance names it, made for this version
  bool survives;
};

void PrintTo(const Owned &c, std::ostream *os) { *os << c.name; }

class StagingAtStart : public testing::TestWithParam<Owned> {};

// An instance starting removes only the staging nobody owns: another
// instance's (on another display), a waiting installer's and one kept for the
// last instance to quit stay; one kept for a version the copy no longer is
// goes.
TEST_P(StagingAtStart, RemovesOnlyWhatNobodyOwns) {
  Session s;
  s.publish("100");
  s.settings.store().setValue("SUEnableAutomaticChecks", false);
  const QString staging = s.apps() + "/.Crel.app.staged-abc123";
  ASSERT_TRUE(QDir().mkpath(staging + "/Crel.app/bin"));
  if (GetParam().pending) {
    crel::update::InstallJob job;
    job.appDirectory = s.appDirectory();
    job.stagedDirectory = staging + "/Crel.app";
    job.backupDirectory = s.apps() + "/.Crel.app.previous-100";
    job.resultFile = s.cache() + "/install-result.json";
    job.fromVersion = GetParam().pending;
    crel::update::PrivateFile::write(crel::update::UpdateInstaller::pendingJobPath(s.cache()), job.encode());
  }
  crel::FileLock owner;
  if (GetParam().held) {
    owner = crel::FileLock::onFolder(staging);
    ASSERT_TRUE(owner.tryLock(crel::FileLock::Mode::shared));
  }
  s.start();
  QCoreApplication::processEvents();
  EXPECT_EQ(QDir(staging).exists(), GetParam().survives);
}

INSTANTIATE_TEST_SUITE_P(Rows, StagingAtStart,
                         testing::Values(Owned{"Abandoned", false, nullptr, false}, Owned{"Owned", true, nullptr, true},
                                         Owned{"KeptForTheLastInstance", false, "100", true},
                                         Owned{"KeptForAnEarlierVersion", false, "99", false}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

namespace {

// An instance starting finds the copies' locks in the runtime folder: those
// whose copy is gone (or that name none) go, unless someone holds them;
// every other copy's, and its own, stay. Its own names its copy.
TEST(CopyLocksAtStart, OnlyThoseOfGoneCopiesThatNobodyHoldsGo) {
  UpdateFixture f;
  const QString runtime = f.root.filePath("run");
  ASSERT_TRUE(QDir().mkpath(runtime));
  const auto lockOf = [&](const QString &copy) { return Updater::copyLockFile(runtime, copy); };
  const QString gone = f.root.filePath("gone/Crel.app"), elsewhere = f.root.filePath("elsewhere/Crel.app");
  ASSERT_TRUE(QDir().mkpath(elsewhere));
  struct Row {
    const char *name;
    QString copy;
    bool held;
    bool survives;
  };
  const std::vector<Row> rows{
      {"GoneCopy", gone, false, false},
      {"GoneCopyHeldByAWaitingInstaller", f.root.filePath("swapping/Crel.app"), true, true},
      {"AnotherCopyNotRunning", elsewhere, false, true},
      {"NamesNoCopy", f.root.filePath("unnamed/Crel.app"), false, false},
  };
  std::vector<crel::FileLock> holders;
  for (const Row &row : rows) {
    crel::FileLock lock(lockOf(row.copy));
    if (QString(row.name) != "NamesNoCopy")
      CopyLocks::name(lock, row.copy);
    if (row.held) {
      ASSERT_TRUE(lock.tryLock(crel::FileLock::Mode::exclusive));
      holders.push_back(std::move(lock));
    }
  }
  Updater::Environment env;
  env.bundle = BundleInfo::load(f.appDirectory());
  env.cacheDirectory = f.cache();
  env.settings = &f.settings.store();
  env.lockFile = lockOf(f.appDirectory());
  Updater updater(env);
  for (const Row &row : rows)
    EXPECT_EQ(QFile::exists(lockOf(row.copy)), row.survives) << row.name;
  EXPECT_EQ(crel::test::contents(env.lockFile), QFile::encodeName(QDir::cleanPath(f.appDirectory())));
  // The runtime folder taken back elsewhere: its own lock follows, into a private folder only.
  const QString moved = f.root.filePath("moved"), open = f.root.filePath("open");
  const QByteArray openName = QFile::encodeName(open);
  ASSERT_TRUE(::mkdir(QFile::encodeName(moved).constData(), 0700) == 0 && ::mkdir(openName.constData(), 0) == 0 &&
              ::chmod(openName.constData(), 0777) == 0);
  updater.followRuntimeFolder(open);
  updater.followRuntimeFolder(moved);
  EXPECT_FALSE(QFile::exists(Updater::copyLockFile(open, f.appDirectory())));
  const QString ownLock = Updater::copyLockFile(moved, f.appDirectory());
  crel::FileLock installer(ownLock);
  EXPECT_TRUE(!installer.tryLock(crel::FileLock::Mode::exclusive) && installer.isBusy());
  // Made again while an installer holds it: tried at every check until held,
  // the refusal logged once, and no sweep at each try.
  ASSERT_TRUE(QFile::remove(ownLock));
  installer = crel::FileLock(ownLock);
  ASSERT_TRUE(installer.tryLock(crel::FileLock::Mode::exclusive));
  static int refusals = 0;
  const QtMessageHandler previous = qInstallMessageHandler(
      [](QtMsgType, const QMessageLogContext &, const QString &m) { refusals += m.contains("held by an installer"); });
  updater.followRuntimeFolder(moved);
  crel::FileLock abandoned(Updater::copyLockFile(moved, gone));
  for (const bool letGo : {false, true}) {
    if (letGo)
      installer.unlock();
    updater.followRuntimeFolder(moved);
  }
  qInstallMessageHandler(previous);
  EXPECT_TRUE(!installer.tryLock(crel::FileLock::Mode::exclusive) && installer.isBusy());
  EXPECT_EQ(refusals, 1);
  EXPECT_TRUE(QFile::exists(Updater::copyLockFile(moved, gone)));
}

} // namespace
