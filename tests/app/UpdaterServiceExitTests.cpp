#include "support/TestSupport.h"

#include "app/UpdaterService.h"
#include "platform/files/SettingsStore.h"
#include "update/framework/PrivateFile.h"
#include "update/framework/UpdateInstaller.h"
#include "update/framework/Updater.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace crel;

namespace {

// A configured copy of version 100 whose updater checks nothing by itself.
struct Copy {
  QTemporaryDir root;
  test::TemporarySettings settings;
  QString app() const { return root.filePath("apps/Crel.app"); }
  QString cache() const { return root.filePath("cache"); }

  Copy() {
    QDir().mkpath(app());
    test::writeFile(app() + "/Info.json", R"({"CFBundleIdentifier":"co.quorvex.crel.test","CFBundleVersion":"100",
        "SUFeedURL":"http://127.0.0.1:9/appcast.json","SUPublicEDKey":"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA="})");
    settings.store().setValue("SUEnableAutomaticChecks", false);
  }

  // What another instance's installer kept for the last instance to quit.
  void keepPending() {
    const QString staged = root.filePath("apps/.Crel.app.staged-kept/Crel.app");
    QDir().mkpath(staged);
    update::InstallJob job;
    job.appDirectory = app();
    job.stagedDirectory = staged;
    job.backupDirectory = root.filePath("apps/.Crel.app.previous-100");
    job.fromVersion = "100";
    job.resultFile = cache() + "/install-result.json";
    update::PrivateFile::write(update::UpdateInstaller::pendingJobPath(cache()), job.encode());
  }
};

// The last instance of a copy to quit installs an update another instance
// staged and its installer kept, though this instance staged nothing itself.
TEST(UpdaterServiceAtExit, TheLastInstanceRunsTheKeptUpdate) {
  for (const bool pending : {false, true}) {
    SCOPED_TRACE(pending ? "an update kept" : "nothing kept");
    Copy copy;
    if (pending)
      copy.keepPending();
    UpdaterService service([&copy](update::UpdaterDelegate *d, update::UserDriverDelegate *u) {
      update::Updater::Environment env;
      env.bundle = update::BundleInfo::load(copy.app());
      env.cacheDirectory = copy.cache();
      env.settings = &copy.settings.store();
      env.executable = "/bin/true"; // the installer's part is its own suite's
      return std::make_unique<update::Updater>(env, d, u);
    });
    service.controller().start();
    service.applicationWillExit();
    const QString job = copy.cache() + "/install-job.json";
    EXPECT_EQ(QFile::exists(job), pending);
    if (pending) {
      EXPECT_EQ(update::InstallJob::decode(test::contents(job)).stagedDirectory,
                copy.root.filePath("apps/.Crel.app.staged-kept/Crel.app"));
    }
  }
}

} // namespace
