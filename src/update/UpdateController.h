#pragma once

#include "framework/UpdaterDelegate.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace crel::update {
class Updater;
}

namespace crel {

// Between the update layer and the rest of the application: starts the
// updater, mirrors its state, turns each of its events into one status
// sentence, and decides when a downloaded update installs: never while the
// application is busy, quietly after a minute of idleness, or at once from
// the menu item. Knows no network and no window.
class UpdateController : public QObject, public update::UpdaterDelegate, public update::UserDriverDelegate {
  Q_OBJECT
public:
  // Builds the updater with this object as both delegates; called once, on
  // first use. Nothing may be started by building it.
  using UpdaterFactory =
      std::function<std::unique_ptr<update::Updater>(update::UpdaterDelegate *, update::UserDriverDelegate *)>;
  using Clock = std::function<QDateTime()>;

  static constexpr int idlePollMs = 15000;
  static constexpr int relaunchPollMs = 500;
  static constexpr qint64 quietSeconds = 60;

  explicit UpdateController(UpdaterFactory factory, Clock clock = {}, QObject *parent = nullptr);
  ~UpdateController() override;

  // A run of one of the test modes, which never starts the updater.
  static bool isIsolatedTest();
  static bool isIsolatedTest(const QStringList &arguments);

  // Starts the updater and follows its state; nothing for an isolated test run.
  void start();
  // False for a copy built without a feed address and key: it never updates.
  bool isAvailable();
  // What the settings say for such a copy.
  static QString unavailableSentence();

  QString menuTitle() const;
  // Refused with a sentence while busy.
  void checkForUpdates();
  // The update menu item: installs a staged update at once, else checks.
  void updateMenuAction();
  void installNow();
  // One poll of the quiet-install rule at `now`.
  void installIfIdle(const QDateTime &now);
  bool canInstallNow() const { return bool(immediateInstall_) && !installing_; }

  // Shown state.
  QString status() const { return status_; }
  void setStatus(const QString &status);
  std::optional<QString> availableVersion() const { return availableVersion_; }
  bool readyToInstall() const { return readyToInstall_; }
  bool canCheck() const { return canCheck_; }
  bool automaticChecks() const { return automaticChecks_; }
  bool automaticDownloads() const { return automaticDownloads_; }
  std::optional<QDateTime> lastChecked() const { return lastChecked_; }
  bool installing() const { return installing_; }
  // Once true, stays true for the rest of the run.
  bool hasStagedUpdate() const { return hasStagedUpdate_; }
  std::optional<double> scheduledDelay() const { return scheduledDelay_; }
  std::optional<int> lastErrorCode() const { return lastErrorCode_; }
  bool isIdleTimerRunning() const { return idleTimer_.isActive(); }
  bool isRelaunchPostponed() const { return bool(deferredInstall_); }
  // The updater, built on first use; nothing started by asking.
  update::Updater &updater();
  // Whether the updater was built and started (by start()).
  bool updaterStarted() const;

  // Supplied by the application: the busy and idle questions, the change
  // callback (after state the menus show changed), and the announcement of
  // a version found by a scheduled check and its withdrawal.
  std::function<bool()> isBusy = [] { return false; };
  std::function<bool()> isIdle = [] { return false; };
  std::function<void()> onChange;
  std::function<void(const QString &version)> announce;
  std::function<void()> withdrawAnnouncement;

  // update::UpdaterDelegate
  void didFindValidUpdate(const update::AppcastItem &item) override;
  bool willInstallUpdateOnQuit(const update::AppcastItem &item, std::function<void()> immediateInstall) override;
  void willInstallUpdate(const update::AppcastItem &item) override;
  bool shouldPostponeRelaunch(const update::AppcastItem &item, std::function<void()> resume) override;
  void willScheduleUpdateCheckAfterDelay(double seconds) override;
  void willNotScheduleUpdateCheck() override;
  void didNotFindUpdate(const update::UpdateError &error) override;
  void didAbortWithError(const update::UpdateError &error) override;
  void installationDeferred(const update::AppcastItem &item) override;
  void installationWaitsForOtherInstances(const update::AppcastItem &item) override;

  // update::UserDriverDelegate
  bool supportsGentleScheduledUpdateReminders() override { return true; }
  bool shouldHandleShowingScheduledUpdate(const update::AppcastItem &, bool) override { return false; }
  void willHandleShowingUpdate(bool handleShowingUpdate, const update::AppcastItem &item,
                               const update::UserUpdateState &state) override;
  void didReceiveUserAttention(const update::AppcastItem &item) override;
  void willFinishUpdateSession() override;

Q_SIGNALS:
  // Any shown field changed.
  void changed();

private:
  void refresh();
  void notifyChange();
  void stopIdleTimer();
  QString readySentence() const;

  UpdaterFactory factory_;
  Clock clock_;
  std::unique_ptr<update::Updater> updater_;

  QString status_;
  std::optional<QString> availableVersion_;
  bool readyToInstall_ = false;
  bool canCheck_ = false;
  bool automaticChecks_ = true;
  bool automaticDownloads_ = true;
  std::optional<QDateTime> lastChecked_;
  bool installing_ = false;
  bool hasStagedUpdate_ = false;
  std::optional<double> scheduledDelay_;
  std::optional<int> lastErrorCode_;
  std::function<void()> deferredInstall_;
  QTimer installTimer_;
  std::function<void()> immediateInstall_;
  QTimer idleTimer_;
  std::optional<QDateTime> idleSince_;
};

} // namespace crel
