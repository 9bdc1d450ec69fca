#include "UpdateController.h"

#include "framework/Updater.h"
#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/SettingsStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>

namespace crel {

namespace {
Q_LOGGING_CATEGORY(lcUpdate, "crel.update", QtInfoMsg)
} // namespace

UpdateController::UpdateController(UpdaterFactory factory, Clock clock, QObject *parent)
    : QObject(parent), factory_(std::move(factory)), clock_(std::move(clock)),
      status_(crel::tr("Checks hourly while the app is running.")) {
  if (!clock_)
    clock_ = [] { return QDateTime::currentDateTimeUtc(); };
  idleTimer_.setInterval(idlePollMs);
  connect(&idleTimer_, &QTimer::timeout, this, [this] { installIfIdle(clock_()); });
  installTimer_.setInterval(relaunchPollMs);
  connect(&installTimer_, &QTimer::timeout, this, [this] {
    if (isBusy())
      return;
    installTimer_.stop();
    const std::function<void()> resume = std::exchange(deferredInstall_, nullptr);
    if (resume)
      resume();
  });
}

UpdateController::~UpdateController() = default;

bool UpdateController::isIsolatedTest(const QStringList &arguments) {
  for (const char *flag : {"--startup-test", "--login-startup-test", "--acceptance-test"})
    if (arguments.contains(QLatin1String(flag)))
      return true;
  return false;
}

bool UpdateController::isIsolatedTest() { return isIsolatedTest(QCoreApplication::arguments()); }

update::Updater &UpdateController::updater() {
  if (!updater_)
    updater_ = factory_(this, this);
  return *updater_;
}

bool UpdateController::updaterStarted() const {
  return updater_ && updater_->phase() != update::Updater::Phase::notStarted;
}

bool UpdateController::isAvailable() { return updater().isConfigured(); }

QString UpdateController::unavailableSentence() {
  return crel::tr("Updates are not available for this copy. Install a released version to get updates.");
}

namespace {

// A bundle assembled by a build, run where it was built: a developer's copy,
// which has no feed on purpose.
bool isDevelopmentBuild(const QString &bundleDirectory) {
  return !bundleDirectory.isEmpty() &&
         QFileInfo::exists(QFileInfo(bundleDirectory).absolutePath() + QStringLiteral("/CMakeCache.txt"));
}

// A copy without a feed says so on its first run only, and never to a
// developer running the build.
bool shouldReportUnavailable(update::Updater &updater) {
  static constexpr const char *key = "updatesUnavailableReportedFor";
  const QString bundle = updater.bundleDirectory();
  SettingsStore *settings = updater.settings();
  if (isDevelopmentBuild(bundle) || !settings || settings->stringForKey(QLatin1String(key)) == bundle)
    return false;
  settings->setValue(QLatin1String(key), bundle);
  return true;
}

} // namespace

void UpdateController::start() {
  if (isIsolatedTest())
    return;
  update::Updater &u = updater();
  QString error;
  if (!u.startUpdater(&error)) {
    const bool configured = u.isConfigured();
    setStatus(configured ? crel::tr("Updates could not start: ") + error : unavailableSentence());
    if (configured || shouldReportUnavailable(u))
      qCWarning(lcUpdate, "Updater could not start: %s", qUtf8Printable(error));
    return;
  }
  connect(&u, &update::Updater::canCheckForUpdatesChanged, this, &UpdateController::refresh);
  connect(&u, &update::Updater::automaticallyChecksForUpdatesChanged, this, &UpdateController::refresh);
  connect(&u, &update::Updater::automaticallyDownloadsUpdatesChanged, this, &UpdateController::refresh);
  connect(&u, &update::Updater::lastUpdateCheckDateChanged, this, &UpdateController::refresh);
  refresh();
}

void UpdateController::refresh() {
  if (!updater_)
    return;
  canCheck_ = updater_->canCheckForUpdates();
  automaticChecks_ = updater_->automaticallyChecksForUpdates();
  automaticDownloads_ = updater_->automaticallyDownloadsUpdates();
  lastChecked_ = updater_->lastUpdateCheckDate();
  notifyChange();
}

void UpdateController::setStatus(const QString &status) {
  status_ = status;
  Q_EMIT changed();
}

void UpdateController::notifyChange() {
  if (onChange)
    onChange();
  Q_EMIT changed();
}

void UpdateController::stopIdleTimer() {
  idleTimer_.stop();
  idleSince_.reset();
}

QString UpdateController::readySentence() const {
  return crel::tr("Version ") + availableVersion_.value_or(QString()) +
         crel::tr(" is ready. It installs by itself when no screenshot is open.");
}

QString UpdateController::menuTitle() const {
  if (!availableVersion_)
    return crel::tr("Check for Updates…");
  if (readyToInstall_)
    return crel::tr("Install Update ") + *availableVersion_ + QStringLiteral("…");
  return crel::tr("Update Available: ") + *availableVersion_ + QStringLiteral("…");
}

void UpdateController::checkForUpdates() {
  if (isBusy()) {
    setStatus(crel::tr("Finish your capture or close the dialog, then check for updates."));
    return;
  }
  updater().checkForUpdates();
}

void UpdateController::updateMenuAction() { canInstallNow() ? installNow() : checkForUpdates(); }

void UpdateController::installNow() {
  if (!immediateInstall_ || installing_)
    return;
  if (isBusy()) {
    setStatus(crel::tr("The update will install when your capture or dialog is finished."));
    return;
  }
  idleSince_.reset();
  status_ = crel::tr("Installing the update…");
  notifyChange();
  // The block may quit the application, which asks this object again: it
  // works on a copy and touches nothing of this object afterwards.
  const std::function<void()> install = immediateInstall_;
  install();
}

void UpdateController::installIfIdle(const QDateTime &now) {
  if (!immediateInstall_ || installing_) {
    stopIdleTimer();
    return;
  }
  if (!isIdle() || isBusy()) {
    idleSince_.reset();
    return;
  }
  if (!idleSince_) {
    idleSince_ = now;
    return;
  }
  if (idleSince_->secsTo(now) >= quietSeconds)
    installNow();
}

void UpdateController::didFindValidUpdate(const update::AppcastItem &item) {
  availableVersion_ = item.displayVersionString;
  status_ = automaticDownloads_ ? crel::tr("Downloading version ") + item.displayVersionString + QStringLiteral("…")
                                : crel::tr("Version ") + item.displayVersionString + crel::tr(" is available.");
  notifyChange();
}

bool UpdateController::willInstallUpdateOnQuit(const update::AppcastItem &item,
                                               std::function<void()> immediateInstall) {
  hasStagedUpdate_ = true;
  availableVersion_ = item.displayVersionString;
  readyToInstall_ = true;
  immediateInstall_ = std::move(immediateInstall);
  status_ = readySentence();
  notifyChange();
  stopIdleTimer();
  idleTimer_.start();
  return true;
}

void UpdateController::willInstallUpdate(const update::AppcastItem &) {
  installing_ = true;
  stopIdleTimer();
}

bool UpdateController::shouldPostponeRelaunch(const update::AppcastItem &, std::function<void()> resume) {
  if (!isBusy())
    return false;
  setStatus(crel::tr("The update will continue when your capture or dialog is finished."));
  deferredInstall_ = std::move(resume);
  installTimer_.start();
  return true;
}

void UpdateController::willScheduleUpdateCheckAfterDelay(double seconds) { scheduledDelay_ = seconds; }

void UpdateController::willNotScheduleUpdateCheck() { scheduledDelay_.reset(); }

void UpdateController::didNotFindUpdate(const update::UpdateError &) {
  status_ = crel::tr("No compatible newer version is available.");
  availableVersion_.reset();
  readyToInstall_ = false;
  notifyChange();
}

void UpdateController::didAbortWithError(const update::UpdateError &error) {
  installing_ = false;
  immediateInstall_ = nullptr;
  stopIdleTimer();
  lastErrorCode_ = error.rawCode();
  if (error.code() == update::UpdateErrorCode::noUpdate)
    return;
  status_ = crel::tr("Update couldn’t finish. Your current app is unchanged. ") + error.description();
  qCWarning(lcUpdate, "Update failed: %s", qUtf8Printable(error.description()));
  notifyChange();
}

void UpdateController::installationDeferred(const update::AppcastItem &) {
  // The quit was refused (a document could not be kept): the update stays
  // ready and the quiet rule and the menu item go on as before.
  installing_ = false;
  idleSince_.reset();
  status_ = readySentence();
  if (immediateInstall_ && !idleTimer_.isActive())
    idleTimer_.start();
  notifyChange();
}

void UpdateController::installationWaitsForOtherInstances(const update::AppcastItem &) {
  // Asked again, quietly or from the menu, it checks again; the quiet rule
  // waits for another quiet minute first.
  idleSince_.reset();
  status_ = crel::tr("Version ") + availableVersion_.value_or(QString()) +
            crel::tr(" is ready. It installs when %1 quits on every display.").arg(AppIdentity::name());
  notifyChange();
}

void UpdateController::willHandleShowingUpdate(bool, const update::AppcastItem &item,
                                               const update::UserUpdateState &state) {
  availableVersion_ = item.displayVersionString;
  notifyChange();
  if (!state.userInitiated && announce)
    announce(item.displayVersionString);
}

void UpdateController::didReceiveUserAttention(const update::AppcastItem &) {
  if (withdrawAnnouncement)
    withdrawAnnouncement();
}

void UpdateController::willFinishUpdateSession() {
  availableVersion_.reset();
  readyToInstall_ = false;
  immediateInstall_ = nullptr;
  notifyChange();
}

} // namespace crel
