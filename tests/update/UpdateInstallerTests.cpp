#include "UpdateFixture.h"
#include "update/framework/UpdateInstaller.h"

#include "platform/base/DescriptorLimit.h"
#include "platform/files/FileLock.h"
#include "update/framework/PrivateFile.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace crel::update;

namespace {

QString crelExecutable() { return qEnvironmentVariable("CREL_BUNDLE_DIR") + "/bin/crel"; }

// An installed version 100 and a staged version 101 beside it whose bin/crel
// writes its arguments and its soft descriptor limit to "relaunched.txt", as
// the installer would leave them.
struct Installation : UpdateFixture {
  InstallJob job;

  Installation() {
    const QString stub = QString("#!/bin/sh\nprintf '%s\\n' \"$@\" \"$(ulimit -Sn)\" > '%1.tmp' && mv '%1.tmp' '%1'\n")
                             .arg(root.filePath("relaunched.txt"));
    const QString staged = apps() + "/.Crel.app.staged-101-abc/Crel.app";
    writeApplication(staged, infoJson("101", keys.publicKey), stub.toUtf8());
    job.appDirectory = appDirectory();
    job.stagedDirectory = staged;
    job.backupDirectory = apps() + "/.Crel.app.previous-100";
    job.expected = {identifier, "101", keys.publicKey};
    job.fromVersion = "100";
    job.relaunch = true;
    job.relaunchArguments = {"--update-acceptance", root.filePath("session"), "--update-scenario", "restored"};
    job.resultFile = cache() + "/install-result.json";
    job.logFile = cache() + "/installer.log";
    job.lockFile = root.filePath("instance.lock");
  }
  QString jobPath() const { return cache() + "/install-job.json"; }
  QString installedVersion() const { return BundleInfo::load(appDirectory()).version; }
};

// The helper waits for the application's pipe to close, swaps the staged
// folder in, keeps the old one as the backup, reports and relaunches the new
// executable with the session's arguments and the descriptor limit the
// application was started with.
TEST(UpdateInstaller, SwapsInTheStagedFolderAndRelaunches) {
  Installation s;
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
  const rlimit usual{std::min<rlim_t>(1024, before.rlim_max), before.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &usual), 0);
  crel::DescriptorLimit::raise();
  const auto helper = UpdateInstaller::spawnHelper(crelExecutable(), s.jobPath(), s.job);
  // Blocked reading the pipe, the helper has moved nothing yet. Kernels that
  // hide wait channels ("0") leave only the sleeping state to go by.
  ASSERT_TRUE(QTest::qWaitFor([&] {
    const QByteArray channel = crel::test::contents(QString("/proc/%1/wchan").arg(helper.pid));
    if (!channel.isEmpty() && channel != "0")
      return channel.contains("pipe");
    return crel::test::contents(QString("/proc/%1/stat").arg(helper.pid)).split(')').value(1).startsWith(" S");
  }));
  EXPECT_FALSE(QFile::exists(s.job.resultFile));
  EXPECT_EQ(s.installedVersion(), "100");
  ::close(helper.pipe);
  int status = 0;
  ASSERT_EQ(::waitpid(helper.pid, &status, 0), helper.pid);
  EXPECT_EQ(WEXITSTATUS(status), 0) << QFile(s.job.logFile).exists();

  EXPECT_EQ(s.installedVersion(), "101");
  EXPECT_EQ(BundleInfo::load(s.job.backupDirectory).version, "100");
  EXPECT_EQ(s.strays(), QStringList{".Crel.app.previous-100"});
  EXPECT_EQ(InstallResult::read(s.job.resultFile), (InstallResult{"installed", "100", "101", {}}));
  EXPECT_FALSE(QFile::exists(s.jobPath()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(s.root.filePath("relaunched.txt")); }, 10000));
  QFile relaunched(s.root.filePath("relaunched.txt"));
  ASSERT_TRUE(relaunched.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(relaunched.readAll()).split('\n', Qt::SkipEmptyParts),
            s.job.relaunchArguments + QStringList{QString::number(usual.rlim_cur)});
  ::setrlimit(RLIMIT_NOFILE, &before);
}

// The staging folder stays owned from the instance that staged it to the
// helper that installs it: an instance starting meanwhile cannot take it for
// abandoned, even after the staging instance has gone.
TEST(UpdateInstaller, TheHelperKeepsTheStagingOwned) {
  Installation s;
  const QString staging = QFileInfo(s.job.stagedDirectory).absolutePath();
  UpdateInstaller::Helper helper;
  {
    crel::FileLock owner = crel::FileLock::onFolder(staging);
    ASSERT_TRUE(owner.tryLock(crel::FileLock::Mode::shared));
    helper = UpdateInstaller::spawnHelper(crelExecutable(), s.jobPath(), s.job, owner.descriptor());
  }
  crel::FileLock starting = crel::FileLock::onFolder(staging);
  EXPECT_FALSE(starting.tryLock(crel::FileLock::Mode::exclusive));
  ::close(helper.pipe);
  ASSERT_EQ(::waitpid(helper.pid, nullptr, 0), helper.pid);
  EXPECT_EQ(s.installedVersion(), "101");
}

// Killed before it could swap, the helper leaves the installed folder as it
// was and the staged one still valid for another attempt.
TEST(UpdateInstaller, KilledHelperLeavesBothFoldersIntact) {
  Installation s;
  const auto helper = UpdateInstaller::spawnHelper(crelExecutable(), s.jobPath(), s.job);
  ASSERT_EQ(::kill(helper.pid, SIGKILL), 0);
  ASSERT_EQ(::waitpid(helper.pid, nullptr, 0), helper.pid);
  ::close(helper.pipe);
  EXPECT_EQ(s.installedVersion(), "100");
  EXPECT_NO_THROW(StagedBundle::validateBundle(s.job.stagedDirectory, s.job.expected));
  EXPECT_FALSE(QFile::exists(s.job.resultFile));
}

// Runs the helper on `job` to its end, as the application's quit would, and
// returns its exit status.
int runToTheEnd(const Installation &s, InstallJob job) {
  job.relaunch = false;
  const auto helper = UpdateInstaller::spawnHelper(crelExecutable(), s.jobPath(), job);
  ::close(helper.pipe);
  int status = -1;
  ::waitpid(helper.pid, &status, 0);
  return WEXITSTATUS(status);
}

// While another instance still runs from the copy, the helper does not swap
// under it; once its wait ends, the update is kept, not reported as failed,
// and installed when the last instance quits.
TEST(UpdateInstaller, WaitsForEveryInstanceOfTheCopy) {
  Installation s;
  s.job.lockWaitMs = 300;
  {
    crel::FileLock otherInstance(s.job.lockFile);
    ASSERT_TRUE(otherInstance.tryLock(crel::FileLock::Mode::shared));
    EXPECT_EQ(runToTheEnd(s, s.job), 0);
    EXPECT_EQ(s.installedVersion(), "100");
    EXPECT_FALSE(QFile::exists(s.job.resultFile));
    EXPECT_TRUE(QFile::exists(s.job.stagedDirectory));
  }
  const std::optional<InstallJob> pending = UpdateInstaller::pendingJob(s.cache());
  ASSERT_TRUE(pending);
  EXPECT_EQ(pending->stagedDirectory, s.job.stagedDirectory);
  EXPECT_EQ(runToTheEnd(s, *pending), 0);
  EXPECT_EQ(s.installedVersion(), "101");
  EXPECT_EQ(InstallResult::read(s.job.resultFile), (InstallResult{"installed", "100", "101", {}}));
  EXPECT_FALSE(UpdateInstaller::pendingJob(s.cache()));
}

// The copy's lock file removed (or replaced) while another instance holds
// it, as a cleaner of the runtime folder would: the installer still finds
// that instance running from the copy and keeps the update for the last
// instance to quit, rather than swapping the copy under it.
TEST(UpdateInstaller, ALockFileGoneWhileHeldStillDefers) {
  for (const bool replaced : {false, true}) {
    Installation s;
    s.job.lockWaitMs = 300;
    {
      OtherInstance other(s.appDirectory());
      ASSERT_TRUE(other.isRunning());
      crel::FileLock otherInstance(s.job.lockFile);
      ASSERT_TRUE(otherInstance.tryLock(crel::FileLock::Mode::shared));
      ASSERT_TRUE(QFile::remove(s.job.lockFile));
      if (replaced)
        QFile(s.job.lockFile).open(QIODevice::WriteOnly);
      EXPECT_EQ(runToTheEnd(s, s.job), 0);
      EXPECT_EQ(s.installedVersion(), "100") << "replaced " << replaced;
      EXPECT_FALSE(QFile::exists(s.job.resultFile));
    }
    const std::optional<InstallJob> pending = UpdateInstaller::pendingJob(s.cache());
    ASSERT_TRUE(pending);
    EXPECT_EQ(runToTheEnd(s, *pending), 0);
    EXPECT_EQ(s.installedVersion(), "101");
  }
}

// Two instances staged the same update: the first to get the copy installs
// it, the second's staging goes without a failure.
TEST(UpdateInstaller, ASecondStagingOfTheSameUpdateIsDroppedQuietly) {
  Installation s;
  InstallJob second = s.job;
  second.stagedDirectory = s.apps() + "/.Crel.app.staged-101-def/Crel.app";
  UpdateFixture::writeApplication(second.stagedDirectory, UpdateFixture::infoJson("101", s.keys.publicKey),
                                  "#!/bin/sh\n");
  EXPECT_EQ(runToTheEnd(s, s.job), 0);
  EXPECT_EQ(runToTheEnd(s, second), 0);
  EXPECT_EQ(s.installedVersion(), "101");
  EXPECT_EQ(InstallResult::read(s.job.resultFile)->status, "installed");
  EXPECT_EQ(s.strays(), QStringList{".Crel.app.previous-100"});
}

struct Refusal {
  const char *name;
  std::function<void(Installation &)> spoil;
  int exitStatus;
  bool resultWritten;
};

void PrintTo(const Refusal &r, std::ostream *os) { *os << r.name; }

class InstallerRefuses : public testing::TestWithParam<Refusal> {};

// A job the helper must not trust, or a staged folder that changed after it
// was checked: the installed folder stays as it was.
TEST_P(InstallerRefuses, LeavesTheInstalledFolderAlone) {
  Installation s;
  s.job.relaunch = false;
  s.job.waitDescriptor = -1;
  PrivateFile::write(s.jobPath(), s.job.encode());
  GetParam().spoil(s);
  QProcess helper;
  helper.start(crelExecutable(), {"--update-installer", s.jobPath()});
  ASSERT_TRUE(helper.waitForFinished(30000));
  EXPECT_EQ(helper.exitCode(), GetParam().exitStatus) << helper.readAllStandardError().toStdString();
  EXPECT_EQ(s.installedVersion(), "100");
  EXPECT_FALSE(QFile::exists(s.job.backupDirectory));
  const auto result = InstallResult::read(s.job.resultFile);
  EXPECT_EQ(result.has_value(), GetParam().resultWritten);
  if (result) {
    EXPECT_EQ(result->status, "failed");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, InstallerRefuses,
    testing::Values(
        Refusal{"JobReadableByOthers",
                [](Installation &s) {
                  QFile(s.jobPath()).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
                },
                2, false},
        Refusal{"JobIsALink",
                [](Installation &s) {
                  QFile::rename(s.jobPath(), s.jobPath() + ".real");
                  QFile::link(s.jobPath() + ".real", s.jobPath());
                },
                2, false},
        Refusal{"StagedVersionChanged",
                [](Installation &s) {
                  UpdateFixture::writeApplication(s.job.stagedDirectory,
                                                  UpdateFixture::infoJson("102", s.keys.publicKey), "#!/bin/sh\n");
                },
                1, true},
        Refusal{"StagedExecutableGone", [](Installation &s) { QFile::remove(s.job.stagedDirectory + "/bin/crel"); }, 1,
                true}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
