#include "Updater.h"

#include "AppcastEnvelope.h"
#include "ArchiveExtractor.h"
#include "CopyLocks.h"
#include "Ed25519.h"
#include "StagedBundle.h"
#include "UpdateDownload.h"
#include "UpdateFeed.h"
#include "UpdateInstaller.h"
#include "platform/base/Translate.h"
#include "platform/files/FileError.h"
#include "platform/files/RuntimeFolder.h"
#include "platform/files/SettingsStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QStandardPaths>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace crel::update {

namespace {

const QString automaticChecksKey = QStringLiteral("SUEnableAutomaticChecks");
const QString automaticDownloadsKey = QStringLiteral("SUAutomaticallyUpdate");
const QString lastCheckKey = QStringLiteral("SULastCheckTime");
const QString skippedVersionKey = QStringLiteral("SUSkippedVersion");

std::optional<UpdateError> verifyArchive(const QString &path, const AppcastItem &item, const QByteArray &key) {
  const auto bad = [](const QString &why) { return UpdateError(UpdateErrorCode::signature, why); };
  if (!item.sha256.isEmpty()) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file) || hash.result() != item.sha256)
      return bad(tr("The update's checksum does not match the feed."));
  }
  if (!Ed25519::verifyFile(path, item.edSignature, key))
    return bad(tr("The update is improperly signed and could not be validated."));
  return std::nullopt;
}

// What any installed application may grow to in one update, at least.
constexpr qint64 minimumUnpackedCap = qint64(256) << 20;
// Left free on the application's disk after extraction.
constexpr qint64 freeSpaceMargin = qint64(32) << 20;

qint64 folderSize(const QString &folder) {
  qint64 total = 0;
  QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    it.next();
    total += it.fileInfo().size();
  }
  return total;
}

qint64 freeBytes(const QString &folder) {
  struct statvfs s {};
  if (::statvfs(QFile::encodeName(folder).constData(), &s) != 0)
    return 0;
  return qint64(s.f_bavail) * qint64(s.f_frsize);
}

// Unpacks the archive into `root` (a new folder beside the application) once
// its declared size fits both a small multiple of the installed application
// and the disk; the extractor stops at the first write that fails.
void unpack(const QString &archive, const QString &root, qint64 installedSize) {
  ArchiveExtractor::Limits limits;
  limits.maximumUnpackedBytes = std::max(installedSize * 4, minimumUnpackedCap);
  const qint64 declared = ArchiveExtractor::unpackedSize(archive, limits);
  const qint64 available = freeBytes(root);
  if (declared > available - freeSpaceMargin) {
    const qint64 megabytes = (declared + freeSpaceMargin + (qint64(1) << 20) - 1) >> 20;
    throw UpdateError(UpdateErrorCode::unarchive,
                      tr("Not enough free space to install the update: %1 MB needed.").arg(megabytes));
  }
  limits.maximumUnpackedBytes = std::min(limits.maximumUnpackedBytes, available - freeSpaceMargin);
  ArchiveExtractor::extract(archive, root, limits);
}

// Names in the cache that every instance of the user shares.
QString instanceSuffix(QString name) {
  if (name.isEmpty())
    return {};
  name.replace(QLatin1Char('/'), QLatin1Char('_'));
  return QLatin1Char('-') + name;
}

} // namespace

Updater::Environment Updater::Environment::standard(SettingsStore &settings, std::function<void()> requestQuit) {
  Environment env;
  env.bundle = BundleInfo::current();
  const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  env.cacheDirectory = cache + QLatin1Char('/') + env.bundle.identifier + QStringLiteral("/Updates");
  env.settings = &settings;
  env.lockFile = copyLockFile(RuntimeFolder::path(env.bundle.identifier), env.bundle.directory);
  env.requestQuit = std::move(requestQuit);
  return env;
}

namespace {

// A copy's name in the files its instances share with other copies' instances.
QString copyKey(const QString &bundleDirectory) {
  const QByteArray path = QFile::encodeName(QDir::cleanPath(QFileInfo(bundleDirectory).absoluteFilePath()));
  return QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex().left(24));
}

// The one result every copy shared before results named their copy.
constexpr auto sharedResultName = "/install-result.json";

} // namespace

QString Updater::copyLockFile(const QString &runtimeFolder, const QString &bundleDirectory) {
  if (runtimeFolder.isEmpty())
    return {};
  return runtimeFolder + QStringLiteral("/copy-") + copyKey(bundleDirectory) + QStringLiteral(".lock");
}

Updater::Updater(Environment environment, UpdaterDelegate *delegate, UserDriverDelegate *userDriverDelegate,
                 QObject *parent)
    : QObject(parent), env_(std::move(environment)), delegate_(delegate), userDriverDelegate_(userDriverDelegate),
      network_(std::make_unique<QNetworkAccessManager>()) {
  static UpdaterDelegate silentDelegate;
  static UserDriverDelegate silentUserDriverDelegate;
  if (!delegate_)
    delegate_ = &silentDelegate;
  if (!userDriverDelegate_)
    userDriverDelegate_ = &silentUserDriverDelegate;
  if (env_.executable.isEmpty())
    env_.executable = env_.bundle.directory + QStringLiteral("/bin/crel");
  // An installer swapping this copy right now holds it a moment longer.
  takeCopyLock(10000, true);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, [this] {
    const qint64 remaining = env_.now().secsTo(checkDue_);
    remaining > 0 ? armTimer(remaining) : checkForUpdatesInBackground();
  });
}

void Updater::takeCopyLock(int timeoutMs, bool sweep) {
  if (env_.lockFile.isEmpty())
    return;
  QString problem;
  // Not inherited by the installer (close-on-exec), which must find it
  // free once every instance of the copy has quit.
  try {
    copyLock_ = FileLock(env_.lockFile);
    copyLockHeld_ = copyLock_.lock(FileLock::Mode::shared, timeoutMs);
    if (copyLockHeld_)
      CopyLocks::name(copyLock_, env_.bundle.directory);
    else
      problem = copyLock_.isBusy() ? QStringLiteral("the copy's lock is held by an installer")
                                   : "the copy's lock cannot be taken: " + qt_error_string(copyLock_.error());
    if (sweep)
      CopyLocks::removeAbandoned(QFileInfo(env_.lockFile).absolutePath(), env_.lockFile);
  } catch (const FileError &e) {
    copyLockHeld_ = false;
    problem = e.message();
  }
  // Tried again at every check while not held: a refusal that lasts is logged once.
  if (std::exchange(copyLockProblem_, problem) != problem && !problem.isEmpty())
    qWarning("update: %s", qPrintable(problem));
}

void Updater::followRuntimeFolder(const QString &runtimeFolder) {
  const QString lockFile = copyLockFile(runtimeFolder, env_.bundle.directory);
  const bool again = lockFile == env_.lockFile && copyLock_.isOpen() && copyLock_.isCurrent();
  if (env_.lockFile.isEmpty() || (again && copyLockHeld_) || !RuntimeFolder::isPrivate(runtimeFolder))
    return;
  env_.lockFile = lockFile;
  // Another try at the same file finds the folder as the last one left it.
  takeCopyLock(0, !again);
}

Updater::~Updater() {
  ++generation_;
  download_.reset();
}

bool Updater::startUpdater(QString *error) {
  const auto refuse = [&](const QString &why) {
    if (error)
      *error = why;
    return false;
  };
  if (phase_ != Phase::notStarted)
    return true;
  if (!env_.settings)
    return refuse(tr("The updater has no settings store."));
  if (env_.bundle.updates.feedUrl.isEmpty())
    return refuse(tr("The updater is not configured: Info.json names no feed address (SUFeedURL)."));
  if (env_.bundle.updates.publicEdKey.isEmpty())
    return refuse(tr("The updater is not configured: Info.json names no public key (SUPublicEDKey)."));
  const QString parent = QFileInfo(env_.bundle.directory).absolutePath();
  appFolderWritable_ = ::access(QFile::encodeName(parent).constData(), W_OK) == 0;
  setPhase(Phase::idle);
  removeStaleStaging();
  readInstallResult();
  schedule(true);
  return true;
}

bool Updater::canCheckForUpdates() const {
  return phase_ == Phase::idle || phase_ == Phase::available || phase_ == Phase::staged;
}

bool Updater::automaticallyChecksForUpdates() const {
  const QVariant v = env_.settings ? env_.settings->value(automaticChecksKey) : QVariant();
  return v.isValid() ? v.toBool() : env_.bundle.updates.enableAutomaticChecks;
}

void Updater::setAutomaticallyChecksForUpdates(bool on) {
  if (!env_.settings)
    return;
  env_.settings->setValue(automaticChecksKey, on);
  Q_EMIT automaticallyChecksForUpdatesChanged(on);
  if (phase_ == Phase::idle)
    schedule(false);
}

bool Updater::automaticallyDownloadsUpdates() const {
  return env_.settings && env_.settings->value(automaticDownloadsKey).toBool();
}

void Updater::setAutomaticallyDownloadsUpdates(bool on) {
  if (!env_.settings)
    return;
  env_.settings->setValue(automaticDownloadsKey, on);
  Q_EMIT automaticallyDownloadsUpdatesChanged(on);
}

std::optional<QDateTime> Updater::lastUpdateCheckDate() const {
  const auto text = env_.settings ? env_.settings->stringForKey(lastCheckKey) : std::nullopt;
  if (!text)
    return std::nullopt;
  const QDateTime date = QDateTime::fromString(*text, Qt::ISODateWithMs);
  return date.isValid() ? std::optional(date) : std::nullopt;
}

std::optional<QString> Updater::skippedVersion() const {
  return env_.settings ? env_.settings->stringForKey(skippedVersionKey) : std::nullopt;
}

void Updater::setSkippedVersion(const std::optional<QString> &version) {
  if (!env_.settings)
    return;
  if (version)
    env_.settings->setString(skippedVersionKey, *version);
  else
    env_.settings->remove(skippedVersionKey);
}

QString Updater::installResultFile() const { return installResultFile(env_.cacheDirectory, env_.bundle.directory); }

QString Updater::installResultFile(const QString &cacheDirectory, const QString &bundleDirectory) {
  return cacheDirectory + QStringLiteral("/install-result-") + copyKey(bundleDirectory) + QStringLiteral(".json");
}

QString Updater::stagingPrefix() const {
  const QFileInfo app(env_.bundle.directory);
  return app.absolutePath() + QStringLiteral("/.") + app.fileName() + QStringLiteral(".staged-");
}

QString Updater::backupPrefix() const {
  const QFileInfo app(env_.bundle.directory);
  return app.absolutePath() + QStringLiteral("/.") + app.fileName() + QStringLiteral(".previous-");
}

QString Updater::removalPrefix() const {
  const QFileInfo app(env_.bundle.directory);
  return app.absolutePath() + QStringLiteral("/.") + app.fileName() + QStringLiteral(".removing-");
}

QString Updater::newRemovalFolder() const { return removalPrefix() + QUuid::createUuid().toString(QUuid::Id128); }

// One download at a time, under a name of ours: nothing the feed says becomes a path.
QString Updater::archivePath() const {
  return env_.cacheDirectory + QStringLiteral("/update%1.archive").arg(instanceSuffix(env_.instanceName));
}

QString Updater::jobPath() const {
  return env_.cacheDirectory + QStringLiteral("/install-job%1.json").arg(instanceSuffix(env_.instanceName));
}

void Updater::removeArchive() const {
  QFile::remove(archivePath());
  QFile::remove(archivePath() + QStringLiteral(".part"));
}

bool Updater::removeOwnFolder(const QString &folder) const {
  // Only a staging or backup folder right beside the application, by its
  // full name; never anything a name with "/" or ".." could reach, nor a
  // link, whose removal would empty the folder it points to.
  const QFileInfo target(folder);
  const QString name = target.fileName();
  const QFileInfo app(env_.bundle.directory);
  const auto named = [&name](const QString &prefix) {
    const QString start = QFileInfo(prefix).fileName();
    return name.startsWith(start) && name.size() > start.size();
  };
  const bool ours = QDir::cleanPath(target.absolutePath()) == QDir::cleanPath(app.absolutePath()) &&
                    !name.contains(QLatin1Char('/')) && !target.isSymLink() &&
                    (named(stagingPrefix()) || named(removalPrefix()) ||
                     (name.startsWith(QFileInfo(backupPrefix()).fileName()) &&
                      AppcastItem::isPlainVersion(name.mid(QFileInfo(backupPrefix()).fileName().size()))));
  if (!ours) {
    qWarning("update: refusing to remove %s, which is not an update folder", qPrintable(folder));
    return false;
  }
  return QDir(folder).removeRecursively();
}

void Updater::setPhase(Phase phase) {
  if (phase == phase_)
    return;
  const bool could = canCheckForUpdates();
  phase_ = phase;
  Q_EMIT phaseChanged(phase);
  if (could != canCheckForUpdates())
    Q_EMIT canCheckForUpdatesChanged(canCheckForUpdates());
}

void Updater::schedule(bool atStart) {
  timer_.stop();
  if (!automaticallyChecksForUpdates()) {
    delegate_->willNotScheduleUpdateCheck();
    return;
  }
  const qint64 interval = env_.bundle.updates.scheduledCheckInterval;
  qint64 delay = interval;
  if (atStart) {
    const auto last = lastUpdateCheckDate();
    const qint64 elapsed = last ? last->secsTo(env_.now()) : interval;
    // A last check in the future (a clock set back) counts as long ago.
    if (elapsed >= interval || elapsed < 0) {
      QMetaObject::invokeMethod(this, &Updater::checkForUpdatesInBackground, Qt::QueuedConnection);
      return;
    }
    delay = interval - elapsed;
  }
  delegate_->willScheduleUpdateCheckAfterDelay(double(delay));
  checkDue_ = env_.now().addSecs(delay);
  armTimer(delay);
}

void Updater::armTimer(qint64 seconds) {
  // QTimer counts milliseconds in an int (under 25 days); intervals may be a year.
  timer_.start(std::chrono::seconds(std::min<qint64>(seconds, 24 * 3600)));
}

void Updater::checkForUpdates() {
  if (!canCheckForUpdates())
    return;
  if ((phase_ == Phase::available || phase_ == Phase::staged) && item_) {
    userInitiated_ = true;
    // A driver may answer at once, which ends the session and the item.
    const AppcastItem item = *item_;
    if (userDriver_) {
      if (phase_ == Phase::staged)
        userDriver_->showReadyToInstall(item);
      else
        userDriver_->showUpdateFound(item, {UserUpdateState::Stage::notDownloaded, true}, answerOffer());
    }
    userDriverDelegate_->didReceiveUserAttention(item);
    if (!userDriver_ && phase_ == Phase::available)
      download();
    return;
  }
  beginCheck(true);
}

void Updater::checkForUpdatesInBackground() {
  if (phase_ == Phase::idle)
    beginCheck(false);
}

void Updater::beginCheck(bool userInitiated) {
  timer_.stop();
  userInitiated_ = userInitiated;
  item_.reset();
  const quint64 generation = ++generation_;
  setPhase(Phase::checking);
  env_.settings->setString(lastCheckKey, env_.now().toUTC().toString(Qt::ISODateWithMs));
  Q_EMIT lastUpdateCheckDateChanged();
  UpdateDownload::Request request;
  request.url = env_.bundle.updates.feedUrl;
  request.userAgent = env_.bundle.userAgent();
  request.applicationName = env_.bundle.displayName;
  request.maximumBytes = AppcastEnvelope::maximumSize;
  request.timeLimitMs = env_.feedTimeLimitMs;
  request.isFeed = true;
  download_ = std::make_unique<UpdateDownload>(
      *network_, request, [this, generation](const QByteArray &body, const std::optional<UpdateError> &error) {
        if (generation == generation_)
          QMetaObject::invokeMethod(
              this, [this, generation, body, error] { generation == generation_ ? feedArrived(body, error) : void(); },
              Qt::QueuedConnection);
      });
}

void Updater::feedArrived(const QByteArray &body, const std::optional<UpdateError> &error) {
  download_.reset();
  if (error)
    return abort(*error);
  const FeedVerdict verdict =
      UpdateFeed::evaluate(body, FeedContext::forBundle(env_.bundle, userInitiated_ ? std::nullopt : skippedVersion()));
  if (verdict.item)
    return offer(*verdict.item);
  const UpdateError failure = verdict.error.value_or(UpdateError(UpdateErrorCode::noUpdate, tr("No update.")));
  if (failure.code() != UpdateErrorCode::noUpdate)
    return abort(failure);
  // Both callbacks: the front end reads the code from the abort.
  delegate_->didNotFindUpdate(failure);
  lastErrorCode_ = failure.rawCode();
  delegate_->didAbortWithError(failure);
  if (userInitiated_ && userDriver_)
    userDriver_->showUpdateNotFound(failure);
  finishSession();
}

void Updater::offer(const AppcastItem &item) {
  item_ = item;
  delegate_->didFindValidUpdate(item);
  if (!appFolderWritable_)
    return abort(UpdateError(UpdateErrorCode::writeNoPermission,
                             tr("The application folder is not writable, so %1 cannot update itself. Update it "
                                "with the package manager that installed it.")
                                 .arg(env_.bundle.displayName)));
  if (automaticallyDownloadsUpdates())
    return download();
  const UserUpdateState state{UserUpdateState::Stage::notDownloaded, userInitiated_};
  if (!userInitiated_) {
    setPhase(Phase::available);
    const bool gentle = userDriverDelegate_->supportsGentleScheduledUpdateReminders() &&
                        !userDriverDelegate_->shouldHandleShowingScheduledUpdate(item, false);
    userDriverDelegate_->willHandleShowingUpdate(!gentle, item, state);
    if (gentle || !userDriver_)
      return;
  }
  if (!userDriver_)
    return download();
  setPhase(Phase::available);
  userDriver_->showUpdateFound(item, state, answerOffer());
}

std::function<void(UpdateChoice)> Updater::answerOffer() {
  return [self = QPointer(this), generation = generation_](UpdateChoice choice) {
    if (!self || self->generation_ != generation || self->phase_ != Phase::available)
      return;
    if (choice == UpdateChoice::install)
      return self->download();
    if (choice == UpdateChoice::skip)
      self->setSkippedVersion(self->item_->version);
    self->finishSession();
  };
}

void Updater::download() {
  const quint64 generation = ++generation_;
  setPhase(Phase::downloading);
  UpdateDownload::Request request;
  request.url = item_->archiveUrl;
  request.userAgent = env_.bundle.userAgent();
  request.applicationName = env_.bundle.displayName;
  request.maximumBytes = AppcastItem::maximumArchiveLength;
  request.expectedLength = item_->length;
  request.timeLimitMs = env_.archiveTimeLimitMs;
  request.destination = archivePath() + QStringLiteral(".part");
  download_ = std::make_unique<UpdateDownload>(
      *network_, request, [this, generation](const QByteArray &, const std::optional<UpdateError> &error) {
        QMetaObject::invokeMethod(
            this, [this, generation, error] { generation == generation_ ? archiveArrived(error) : void(); },
            Qt::QueuedConnection);
      });
}

template <class Work, class Done> void Updater::runInBackground(Work work, Done done) {
  auto *watcher = new QFutureWatcher<decltype(work())>(this);
  connect(watcher, &QFutureWatcherBase::finished, this, [watcher, done, generation = generation_, this] {
    watcher->deleteLater();
    if (generation == generation_)
      done(watcher->result());
  });
  watcher->setFuture(QtConcurrent::run(std::move(work)));
}

void Updater::archiveArrived(const std::optional<UpdateError> &error) {
  download_.reset();
  if (error)
    return abort(*error);
  const QString target = archivePath();
  QFile::remove(target);
  if (!QFile::rename(target + QStringLiteral(".part"), target))
    return abort(UpdateError(UpdateErrorCode::download, tr("The downloaded update could not be kept.")));
  setPhase(Phase::verifying);
  runInBackground([path = archivePath(), item = *item_,
                   key = env_.bundle.updates.publicEdKey] { return verifyArchive(path, item, key); },
                  [this](const std::optional<UpdateError> &failure) { failure ? abort(*failure) : extract(); });
}

void Updater::extract() {
  setPhase(Phase::extracting);
  QByteArray pattern = QFile::encodeName(stagingPrefix() + QStringLiteral("XXXXXX"));
  if (!::mkdtemp(pattern.data())) {
    const int error = errno;
    return abort(UpdateError(UpdateErrorCode::temporaryDirectory,
                             error == ENOSPC || error == EDQUOT
                                 ? tr("Not enough free space to install the update next to the application.")
                                 : tr("A folder for the update could not be made next to the application (%1).")
                                       .arg(QString::fromLocal8Bit(std::strerror(error)))));
  }
  stagingRoot_ = QFile::decodeName(pattern);
  try {
    stagingLock_ = FileLock::onFolder(stagingRoot_);
  } catch (const FileError &) {
    // Only a folder that mkdtemp just made, replaced since: not ours.
    stagingRoot_.clear();
    return abort(UpdateError(UpdateErrorCode::temporaryDirectory,
                             tr("A folder for the update could not be made next to the application (%1).")
                                 .arg(QString::fromLocal8Bit(std::strerror(ELOOP)))));
  }
  stagingLock_.tryLock(FileLock::Mode::shared);
  runInBackground(
      [archive = archivePath(), root = stagingRoot_, app = env_.bundle.directory]() -> std::optional<UpdateError> {
        try {
          unpack(archive, root, folderSize(app));
          return std::nullopt;
        } catch (const UpdateError &e) {
          return e;
        }
      },
      [this](const std::optional<UpdateError> &failure) { failure ? abort(*failure) : stage(stagingRoot_); });
}

void Updater::stage(const QString &stagingRoot) {
  setPhase(Phase::validating);
  try {
    stagedBundle_ =
        StagedBundle::validate(stagingRoot, {env_.bundle.identifier, item_->version, env_.bundle.updates.publicEdKey});
  } catch (const UpdateError &e) {
    return abort(e);
  }
  removeArchive();
  installRequested_ = false;
  setPhase(Phase::staged);
  const AppcastItem item = *item_;
  const bool held = delegate_->willInstallUpdateOnQuit(item, [self = QPointer(this)] {
    if (self)
      self->installNow();
  });
  Q_UNUSED(held);
  if (userInitiated_ && userDriver_)
    userDriver_->showReadyToInstall(item);
  else if (!userInitiated_)
    userDriverDelegate_->willHandleShowingUpdate(false, item, {UserUpdateState::Stage::downloaded, false});
}

void Updater::abort(const UpdateError &error) {
  download_.reset();
  ++generation_;
  if (!stagingRoot_.isEmpty())
    removeOwnFolder(stagingRoot_);
  stagingRoot_.clear();
  stagingLock_ = FileLock();
  stagedBundle_.clear();
  removeArchive();
  lastErrorCode_ = error.rawCode();
  delegate_->didAbortWithError(error);
  if (userInitiated_ && userDriver_)
    userDriver_->showUpdaterError(error);
  finishSession();
}

void Updater::finishSession() {
  if (phase_ != Phase::staged)
    item_.reset();
  userDriverDelegate_->willFinishUpdateSession();
  if (phase_ == Phase::staged)
    return;
  setPhase(Phase::idle);
  schedule(false);
}

void Updater::installNow() {
  if (phase_ != Phase::staged || installRequested_)
    return;
  // Quitting here would install nothing while another display's instance
  // runs from the copy: this one stays, and the update installs once the
  // last of them quits.
  if (!UpdateInstaller::processesRunningFrom(env_.bundle.directory).empty()) {
    delegate_->installationWaitsForOtherInstances(*item_);
    return;
  }
  installRequested_ = true;
  const auto quit = [self = QPointer(this)] {
    if (self && self->phase_ == Phase::staged && self->installRequested_ && self->env_.requestQuit)
      self->env_.requestQuit();
  };
  if (!delegate_->shouldPostponeRelaunch(*item_, quit))
    quit();
}

void Updater::quitRefused() {
  if (phase_ != Phase::staged || !installRequested_)
    return;
  installRequested_ = false;
  delegate_->installationDeferred(*item_);
}

std::optional<InstallJob> Updater::pendingJob() const {
  std::optional<InstallJob> job = UpdateInstaller::pendingJob(env_.cacheDirectory);
  if (!job ||
      QDir::cleanPath(job->appDirectory) != QDir::cleanPath(QFileInfo(env_.bundle.directory).absoluteFilePath()))
    return std::nullopt;
  return job;
}

void Updater::applicationWillExit() {
  if (phase_ != Phase::staged) {
    // Another instance's update, kept until the last instance quits: perhaps this one.
    if (const std::optional<InstallJob> pending = pendingJob();
        pending && QFileInfo::exists(pending->stagedDirectory)) {
      try {
        helperPipe_ = UpdateInstaller::spawnHelper(env_.executable, jobPath(), *pending).pipe;
      } catch (const UpdateError &e) {
        qWarning("update: %s", qPrintable(e.description()));
      }
    }
    return;
  }
  delegate_->willInstallUpdate(*item_);
  const QFileInfo app(env_.bundle.directory);
  InstallJob job;
  job.appDirectory = app.absoluteFilePath();
  job.stagedDirectory = stagedBundle_;
  // Our own version names the backup; one that could name a path gets a hash.
  const QString version =
      AppcastItem::isPlainVersion(env_.bundle.version)
          ? env_.bundle.version
          : QString::fromLatin1(
                QCryptographicHash::hash(env_.bundle.version.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
  job.backupDirectory = backupPrefix() + version;
  job.expected = {env_.bundle.identifier, item_->version, env_.bundle.updates.publicEdKey};
  job.fromVersion = env_.bundle.version;
  job.relaunch = installRequested_;
  job.relaunchArguments = relaunchArguments_;
  job.resultFile = installResultFile();
  job.logFile = env_.cacheDirectory + QStringLiteral("/installer.log");
  job.lockFile = env_.lockFile;
  try {
    // The write end stays open until this process exits.
    helperPipe_ = UpdateInstaller::spawnHelper(env_.executable, jobPath(), job, stagingLock_.descriptor()).pipe;
    setPhase(Phase::installing);
  } catch (const UpdateError &e) {
    lastErrorCode_ = e.rawCode();
    delegate_->didAbortWithError(e);
  }
}

void Updater::removeStaleStaging() {
  const QFileInfo prefix(stagingPrefix());
  const QDir parent(prefix.absolutePath());
  QString pending;
  if (const std::optional<InstallJob> job = pendingJob()) {
    // Made for a version this copy no longer is: installed another way.
    if (job->fromVersion != env_.bundle.version)
      QFile::remove(UpdateInstaller::pendingJobPath(env_.cacheDirectory));
    else
      pending = QFileInfo(job->stagedDirectory).absolutePath();
  }
  for (const QString &name : parent.entryList({prefix.fileName() + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden)) {
    const QString folder = parent.filePath(name);
    if (QDir::cleanPath(folder) == QDir::cleanPath(pending))
      continue;
    FileLock owner;
    try {
      owner = FileLock::onFolder(folder);
    } catch (const FileError &) {
      // Not a folder of ours (a link): removeOwnFolder says why it stays.
    }
    // Another instance's, or a waiting installer's.
    if (owner.isOpen() && !owner.tryLock(FileLock::Mode::exclusive))
      continue;
    removeOwnFolder(folder);
  }
  // A backup whose removal was cut short, or is under way in another launch:
  // renamed first, so that only one remover works on it at a time (two at
  // once each stop at what the other removed, and leave the rest).
  const QString removal = QFileInfo(removalPrefix()).fileName();
  for (const QString &name : parent.entryList({removal + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden)) {
    const QString taken = newRemovalFolder();
    if (::rename(QFile::encodeName(parent.filePath(name)).constData(), QFile::encodeName(taken).constData()) == 0)
      removeOwnFolder(taken);
  }
  removeArchive();
}

void Updater::readInstallResult() {
  // This copy's result; else the one an earlier version shared among all
  // copies, when its versions say it is this copy's: it installed the
  // version running now, or failed to leave it.
  QString path = installResultFile();
  std::optional<InstallResult> result = InstallResult::read(path);
  if (!result) {
    path = env_.cacheDirectory + QLatin1String(sharedResultName);
    result = InstallResult::read(path);
    const bool installed = result && result->status == QLatin1String(InstallResult::installed);
    if (!result || (installed ? result->to : result->from) != env_.bundle.version)
      return;
  }
  QString removing;
  if (result->status == QLatin1String(InstallResult::installed) && AppcastItem::isPlainVersion(result->from)) {
    // Renamed before the result is claimed: of launches starting together
    // one gets it, and an end before the removal finished leaves a folder
    // the next start sweeps, never a half-removed backup under its name.
    const QByteArray backup = QFile::encodeName(backupPrefix() + result->from);
    removing = newRemovalFolder();
    struct stat st {};
    if (::lstat(backup.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        ::rename(backup.constData(), QFile::encodeName(removing).constData()) != 0)
      removing.clear();
  }
  // Claimed by one launch: the rename to a name of its own.
  const QString claimed = path + QStringLiteral(".claimed-") + QUuid::createUuid().toString(QUuid::Id128);
  const bool mine = ::rename(QFile::encodeName(path).constData(), QFile::encodeName(claimed).constData()) == 0;
  if (mine)
    QFile::remove(claimed);
  if (!removing.isEmpty())
    removeOwnFolder(removing);
  if (!mine || result->status == QLatin1String(InstallResult::installed))
    return;
  // The front end puts this in its own failure sentence.
  const UpdateError failure(UpdateErrorCode::install,
                            result->error.isEmpty() ? tr("The installer stopped before it finished.") : result->error);
  QMetaObject::invokeMethod(
      this,
      [this, failure] {
        lastErrorCode_ = failure.rawCode();
        delegate_->didAbortWithError(failure);
      },
      Qt::QueuedConnection);
}

} // namespace crel::update
