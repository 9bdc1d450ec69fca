#pragma once

#include "AppcastItem.h"
#include "BundleInfo.h"
#include "UpdateError.h"
#include "UpdaterDelegate.h"
#include "platform/files/FileLock.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace crel {
class SettingsStore;
}

namespace crel::update {

class UpdateDownload;
struct InstallJob;

// The update cycle: scheduled and user checks, download, verification,
// extraction, staging and install on quit. Everything runs on the thread
// that owns it (the main thread); work off that thread reports back there,
// and a reply whose generation is no longer current is ignored.
class Updater : public QObject {
  Q_OBJECT
  Q_PROPERTY(Phase phase READ phase NOTIFY phaseChanged)
  Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
public:
  enum class Phase {
    notStarted,
    idle,
    checking,
    available, // found by a scheduled check, not downloaded
    downloading,
    verifying,
    extracting,
    validating,
    staged,
    installing,
  };
  Q_ENUM(Phase)

  struct Environment {
    BundleInfo bundle;
    QString cacheDirectory; // private: downloads, install jobs, results
    SettingsStore *settings = nullptr;
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };
    // The running executable, which becomes the installer helper; empty: bundle's bin/crel.
    QString executable;
    // The copy's lock (copyLockFile): held shared while this instance runs,
    // taken exclusively by the installer; none: no other instance is waited for.
    QString lockFile;
    // This instance among the user's others (one per display): names its
    // download and install job in the shared cache.
    QString instanceName;
    // Asks the application to quit for an install; it answers later with
    // applicationWillExit() or quitRefused().
    std::function<void()> requestQuit;
    int feedTimeLimitMs = 60000;
    int archiveTimeLimitMs = 30 * 60000;

    // The running application's own environment.
    static Environment standard(SettingsStore &settings, std::function<void()> requestQuit);
  };

  // The lock of the copy at `bundleDirectory` in the user's runtime folder,
  // one per copy whatever the display.
  static QString copyLockFile(const QString &runtimeFolder, const QString &bundleDirectory);

  Updater(Environment environment, UpdaterDelegate *delegate = nullptr,
          UserDriverDelegate *userDriverDelegate = nullptr, QObject *parent = nullptr);
  ~Updater() override;

  void setUserDriver(UpdateUserDriver *driver) { userDriver_ = driver; }
  // The user's runtime folder as the instance's check left it (made again,
  // or another place), at every check: the copy's lock follows there when it
  // went or moved, or was not held, so an installer still finds this copy
  // running. Nothing is made in a folder that is not private.
  void followRuntimeFolder(const QString &runtimeFolder);

  // False with a sentence in `error` when updates are not configured.
  bool startUpdater(QString *error = nullptr);
  // Whether the bundle names a feed and its key: without them this copy
  // never updates.
  bool isConfigured() const {
    return !env_.bundle.updates.feedUrl.isEmpty() && !env_.bundle.updates.publicEdKey.isEmpty();
  }
  const QString &bundleDirectory() const { return env_.bundle.directory; }
  SettingsStore *settings() const { return env_.settings; }

  Phase phase() const { return phase_; }
  quint64 generation() const { return generation_; }
  bool canCheckForUpdates() const;
  bool automaticallyChecksForUpdates() const;
  void setAutomaticallyChecksForUpdates(bool on);
  bool automaticallyDownloadsUpdates() const;
  void setAutomaticallyDownloadsUpdates(bool on);
  std::optional<QDateTime> lastUpdateCheckDate() const;
  std::optional<QString> skippedVersion() const;
  void setSkippedVersion(const std::optional<QString> &version);
  int lastErrorCode() const { return lastErrorCode_; }
  // The update found or staged, if any.
  std::optional<AppcastItem> currentItem() const { return item_; }
  QString stagedBundleDirectory() const { return stagedBundle_; }
  bool isAppFolderWritable() const { return appFolderWritable_; }
  // Where the installer leaves its result for this copy's next launch.
  QString installResultFile() const;
  static QString installResultFile(const QString &cacheDirectory, const QString &bundleDirectory);

  // A user's check, with dialogs; while an update is available or staged it
  // shows that update again without fetching.
  void checkForUpdates();
  // A scheduled check, without dialogs unless an update is found.
  void checkForUpdatesInBackground();
  // Arguments for the relaunched application; none for ordinary use.
  void setRelaunchArguments(const QStringList &arguments) { relaunchArguments_ = arguments; }

  // The immediate-install block (also handed to willInstallUpdateOnQuit).
  void installNow();
  void quitRefused();
  // The last step of an accepted quit: starts the installer when an update is staged.
  void applicationWillExit();

Q_SIGNALS:
  void phaseChanged(crel::update::Updater::Phase phase);
  void canCheckForUpdatesChanged(bool can);
  void automaticallyChecksForUpdatesChanged(bool on);
  void automaticallyDownloadsUpdatesChanged(bool on);
  void lastUpdateCheckDateChanged();

private:
  void setPhase(Phase phase);
  void schedule(bool atStart);
  // Held shared while this instance runs, named after its copy; `sweep`:
  // the abandoned locks of other copies beside it go.
  void takeCopyLock(int timeoutMs, bool sweep);
  void armTimer(qint64 seconds);
  void beginCheck(bool userInitiated);
  void feedArrived(const QByteArray &body, const std::optional<UpdateError> &error);
  void offer(const AppcastItem &item);
  // The user's answer to the offer of the current item; stale answers do nothing.
  std::function<void(UpdateChoice)> answerOffer();
  void download();
  void archiveArrived(const std::optional<UpdateError> &error);
  void extract();
  void stage(const QString &stagingRoot);
  void abort(const UpdateError &error);
  void finishSession();
  void readInstallResult();
  void removeStaleStaging();
  // A job kept for the last instance of this copy to quit, if it is this copy's.
  std::optional<InstallJob> pendingJob() const;
  QString stagingPrefix() const;
  QString backupPrefix() const;
  // A backup being removed is renamed to this first, so that only one launch removes it.
  QString removalPrefix() const;
  QString newRemovalFolder() const;
  QString archivePath() const;
  QString jobPath() const;
  void removeArchive() const;
  // Removes a staging, backup or removal folder beside the application; refuses any other path.
  bool removeOwnFolder(const QString &folder) const;
  template <class Work, class Done> void runInBackground(Work work, Done done);

  Environment env_;
  UpdaterDelegate *delegate_;
  UserDriverDelegate *userDriverDelegate_;
  UpdateUserDriver *userDriver_ = nullptr;
  std::unique_ptr<QNetworkAccessManager> network_;
  std::unique_ptr<UpdateDownload> download_;
  QTimer timer_;
  QDateTime checkDue_;
  Phase phase_ = Phase::notStarted;
  quint64 generation_ = 0;
  bool userInitiated_ = false;
  bool appFolderWritable_ = true;
  bool installRequested_ = false;
  int lastErrorCode_ = 0;
  std::optional<AppcastItem> item_;
  QString stagingRoot_;
  // Held (shared) on the staging folder while it is ours, and handed to the
  // installer: whoever can lock it exclusively may remove it.
  FileLock stagingLock_;
  FileLock copyLock_;
  // Whether copyLock_ is held: an open file may be one an installer holds.
  bool copyLockHeld_ = false;
  QString copyLockProblem_; // the last refusal, logged once
  QString stagedBundle_;
  QStringList relaunchArguments_;
  int helperPipe_ = -1;
};

} // namespace crel::update
