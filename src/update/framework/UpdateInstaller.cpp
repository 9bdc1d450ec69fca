#include "UpdateInstaller.h"

#include "BundleInfo.h"
#include "PrivateFile.h"
#include "UpdateError.h"
#include "platform/base/DescriptorLimit.h"
#include "platform/base/Translate.h"
#include "platform/files/FileError.h"
#include "platform/files/FileLock.h"
#include "platform/files/JsonReader.h"
#include "platform/files/JsonWriter.h"
#include "platform/files/RegularFile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QScopeGuard>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

extern char **environ;

namespace crel::update {

namespace {

[[noreturn]] void installFailure(const QString &why) {
  throw UpdateError(UpdateErrorCode::install, tr("The update could not be installed: %1").arg(why));
}

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QByteArray native(const QString &path) { return QFile::encodeName(path); }

// posix_spawn in a new session with `descriptors` mapped in the child
// (source → target); stdin is /dev/null, stdout and stderr go to `logFile`.
pid_t spawnDetached(const QString &program, const QStringList &arguments, const QString &logFile,
                    const std::vector<std::pair<int, int>> &descriptors) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const QByteArray log = logFile.isEmpty() ? QByteArray("/dev/null") : native(logFile);
  posix_spawn_file_actions_addopen(&actions, 1, log.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  // Copies above every target first, so that no mapping overwrites the
  // source of a later one (a source may already sit at another's target).
  std::vector<int> sources;
  for (const auto &[source, target] : descriptors) {
    sources.push_back(::fcntl(source, F_DUPFD_CLOEXEC, 64));
    posix_spawn_file_actions_adddup2(&actions, sources.back() >= 0 ? sources.back() : source, target);
  }
  const auto closing = qScopeGuard([&sources] {
    for (int fd : sources)
      if (fd >= 0)
        ::close(fd);
  });
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

  std::vector<QByteArray> storage{native(program)};
  for (const QString &a : arguments)
    storage.push_back(a.toLocal8Bit());
  std::vector<char *> argv;
  for (QByteArray &s : storage)
    argv.push_back(s.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, storage.front().constData(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0)
    installFailure(tr("%1 could not be started (%2).").arg(program, systemError(error)));
  return pid;
}

void fsyncFolder(const QString &folder) {
  const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// The job file must be a regular file of ours that nobody else can read or change.
QByteArray readPrivateJob(const QString &path) {
  const int fd = ::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    installFailure(tr("the install job %1 cannot be opened (%2).").arg(path, systemError(errno)));
  struct stat st {};
  QFile file;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0) {
    ::close(fd);
    installFailure(tr("the install job %1 is not a private file of this user.").arg(path));
  }
  file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
  return file.read(64 * 1024);
}

void waitForEndOfFile(int fd) {
  char buffer[64];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0 || (n < 0 && errno != EINTR))
      break;
  }
  ::close(fd);
}

// The staging folder that holds a job's staged application: only one
// beside the application, by its name.
QString stagingFolderOf(const InstallJob &job) {
  const QFileInfo app(job.appDirectory);
  const QFileInfo staging(QFileInfo(job.stagedDirectory).absolutePath());
  const QString prefix = QLatin1Char('.') + app.fileName() + QStringLiteral(".staged-");
  if (QDir::cleanPath(staging.absolutePath()) != QDir::cleanPath(app.absolutePath()) ||
      !staging.fileName().startsWith(prefix) || staging.fileName().size() == prefix.size() || staging.isSymLink())
    return {};
  return staging.absoluteFilePath();
}

void removeStaging(const InstallJob &job) {
  const QString folder = stagingFolderOf(job);
  if (!folder.isEmpty())
    QDir(folder).removeRecursively();
}

enum class Outcome { swapped, superseded, deferred };

// Waits for the copy's other instances to quit, then installs; the lock is
// left held in `lock` until the caller lets it go before the relaunch.
Outcome install(const InstallJob &job, FileLock &lock) {
  const QDeadlineTimer deadline(job.lockWaitMs);
  if (!job.lockFile.isEmpty()) {
    try {
      lock = FileLock(job.lockFile);
    } catch (const FileError &e) {
      // Without its folder, no instance can be holding it.
      if (e.errorCode() != ENOENT)
        installFailure(e.message());
    }
    if (lock.isOpen() && !lock.lock(FileLock::Mode::exclusive, job.lockWaitMs)) {
      if (lock.isBusy())
        return Outcome::deferred;
      // The processes below still tell whether the copy is in use.
      std::fprintf(stderr, "update: the copy's lock cannot be taken (%s)\n", std::strerror(lock.error()));
    }
  }
  // A lock file removed while an instance held it guards nothing: the
  // processes running from the copy decide. One that is just quitting (its
  // lock already let go) is waited for.
  while (!UpdateInstaller::processesRunningFrom(job.appDirectory).empty()) {
    if (deadline.hasExpired())
      return Outcome::deferred;
    QThread::msleep(100);
  }
  // Updated meanwhile by another instance's installer: this one is not needed.
  try {
    if (BundleInfo::load(job.appDirectory).version != job.fromVersion)
      return Outcome::superseded;
  } catch (const std::exception &) {
    // No readable copy to compare with: the swap's own checks decide.
  }
  UpdateInstaller::swap(job);
  return Outcome::swapped;
}

} // namespace

std::vector<pid_t> UpdateInstaller::processesRunningFrom(const QString &appDirectory) {
  const QString copy = QFileInfo(appDirectory).canonicalFilePath();
  if (copy.isEmpty())
    return {};
  const QByteArray inside = native(copy) + '/';
  const pid_t self = ::getpid();
  std::vector<pid_t> found;
  const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString &entry : entries) {
    bool numeric = false;
    const pid_t pid = pid_t(entry.toInt(&numeric));
    if (!numeric || pid == self)
      continue;
    // Another user's process does not let its executable be read.
    char exe[4096];
    const ssize_t length = ::readlink(QByteArray("/proc/" + entry.toLatin1() + "/exe").constData(), exe, sizeof exe);
    if (length <= 0 || !QByteArray::fromRawData(exe, int(length)).startsWith(inside))
      continue;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid)), commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!stat.open(QIODevice::ReadOnly) || !commandLine.open(QIODevice::ReadOnly))
      continue;
    // "pid (name) state ppid ...": the name may hold anything but ')'.
    const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
    const QList<QByteArray> arguments = commandLine.readAll().split('\0');
    if ((fields.size() > 1 && fields[1].toInt() == self) ||
        (arguments.size() > 1 && arguments[1] == QByteArray(UpdateInstaller::helperSwitch)))
      continue;
    found.push_back(pid);
  }
  return found;
}

QString UpdateInstaller::pendingJobPath(const QString &cacheDirectory) {
  return cacheDirectory + QStringLiteral("/pending-install.json");
}

std::optional<InstallJob> UpdateInstaller::pendingJob(const QString &cacheDirectory) {
  const QString path = pendingJobPath(cacheDirectory);
  if (!QFileInfo::exists(path))
    return std::nullopt;
  try {
    return InstallJob::decode(readPrivateJob(path));
  } catch (const UpdateError &) {
    return std::nullopt;
  }
}

namespace {

// After this job's outcome: a job kept waiting for the same copy is done
// with too, the same job (it ran now) as well as another one, once the copy
// holds a new version.
void dropPendingFor(const InstallJob &job, bool installed) {
  const QString cache = QFileInfo(job.resultFile).absolutePath();
  const std::optional<InstallJob> pending = UpdateInstaller::pendingJob(cache);
  if (!pending || pending->appDirectory != job.appDirectory)
    return;
  const bool same = pending->stagedDirectory == job.stagedDirectory;
  if (!same && !installed)
    return;
  if (!same)
    removeStaging(*pending);
  QFile::remove(UpdateInstaller::pendingJobPath(cache));
}

} // namespace

QByteArray InstallJob::encode() const {
  JsonWriter w;
  w.beginObject();
  w.field("appDirectory", appDirectory);
  w.field("stagedDirectory", stagedDirectory);
  w.field("backupDirectory", backupDirectory);
  w.field("identifier", expected.identifier);
  w.field("version", expected.version);
  w.key("publicEdKey");
  w.valueBase64(expected.publicEdKey);
  w.field("fromVersion", fromVersion);
  w.field("relaunch", relaunch);
  w.key("relaunchArguments");
  w.beginArray();
  for (const QString &a : relaunchArguments)
    w.value(a);
  w.endArray();
  w.field("resultFile", resultFile);
  w.field("logFile", logFile);
  w.field("lockFile", lockFile);
  w.field("lockWaitMs", lockWaitMs);
  w.field("waitDescriptor", waitDescriptor);
  w.field("stagingLockDescriptor", stagingLockDescriptor);
  w.field("descriptorLimit", descriptorLimit);
  w.endObject();
  return w.take();
}

InstallJob InstallJob::decode(const QByteArray &bytes) {
  try {
    const QJsonObject o = json::toObject(json::parse(bytes));
    InstallJob job;
    job.appDirectory = json::toString(o.value(QLatin1String("appDirectory")));
    job.stagedDirectory = json::toString(o.value(QLatin1String("stagedDirectory")));
    job.backupDirectory = json::toString(o.value(QLatin1String("backupDirectory")));
    job.expected.identifier = json::toString(o.value(QLatin1String("identifier")));
    job.expected.version = json::toString(o.value(QLatin1String("version")));
    job.expected.publicEdKey = json::toBase64Data(o.value(QLatin1String("publicEdKey")));
    job.fromVersion = json::toString(o.value(QLatin1String("fromVersion")));
    job.relaunch = json::toBool(o.value(QLatin1String("relaunch")));
    for (const QJsonValue &a : json::toArray(o.value(QLatin1String("relaunchArguments"))))
      job.relaunchArguments.append(json::toString(a));
    job.resultFile = json::toString(o.value(QLatin1String("resultFile")));
    job.logFile = json::toString(o.value(QLatin1String("logFile")));
    job.lockFile = json::toString(o.value(QLatin1String("lockFile")));
    if (o.contains(QLatin1String("lockWaitMs")))
      job.lockWaitMs = int(std::clamp<long long>(json::toInteger(o.value(QLatin1String("lockWaitMs"))), 0, 3600000));
    job.waitDescriptor = int(json::toInteger(o.value(QLatin1String("waitDescriptor"))));
    // Absent from jobs of earlier versions.
    if (o.contains(QLatin1String("stagingLockDescriptor")))
      job.stagingLockDescriptor = int(json::toInteger(o.value(QLatin1String("stagingLockDescriptor"))));
    if (o.contains(QLatin1String("descriptorLimit")))
      job.descriptorLimit = json::toInteger(o.value(QLatin1String("descriptorLimit")));
    for (const QString *path : {&job.appDirectory, &job.stagedDirectory, &job.backupDirectory, &job.resultFile})
      if (!QDir::isAbsolutePath(*path))
        throw JsonDecodingError("expected absolute paths");
    return job;
  } catch (const JsonDecodingError &e) {
    installFailure(tr("the install job is malformed (%1).").arg(QString::fromUtf8(e.what())));
  }
}

QByteArray InstallResult::encode() const {
  JsonWriter w;
  w.beginObject();
  w.field("status", status);
  w.field("from", from);
  w.field("to", to);
  w.field("error", error);
  w.endObject();
  return w.take();
}

std::optional<InstallResult> InstallResult::read(const QString &path) {
  // Whatever is there says nothing of an install, and would be read at every start.
  const auto discard = [&path](const QString &what) {
    const bool removed = ::unlink(QFile::encodeName(path).constData()) == 0;
    qWarning("update: %s is %s, so no install result: %s", qPrintable(path), qPrintable(what),
             removed ? "removed" : qPrintable(QStringLiteral("not removed: ") + qt_error_string(errno)));
    return std::nullopt;
  };
  // Opened without waiting or following a link: a FIFO planted there must not
  // hold the start before its event loop runs.
  const RegularFile::Opened opened = RegularFile::open(path, RegularFile::Links::refuse);
  if (opened.outcome == RegularFile::Outcome::notRegular)
    return discard(QStringLiteral("no file"));
  if (!opened.ok())
    return std::nullopt;
  QFile file;
  file.open(opened.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
  try {
    const QJsonObject o = json::toObject(json::parse(file.read(64 * 1024)));
    return InstallResult{json::toString(o.value(QLatin1String("status"))),
                         json::toString(o.value(QLatin1String("from"))), json::toString(o.value(QLatin1String("to"))),
                         json::toString(o.value(QLatin1String("error")))};
  } catch (const JsonDecodingError &e) {
    return discard(QStringLiteral("unreadable (%1)").arg(QString::fromUtf8(e.what())));
  }
}

UpdateInstaller::Helper UpdateInstaller::spawnHelper(const QString &executable, const QString &jobPath, InstallJob job,
                                                     int stagingLock) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0)
    installFailure(systemError(errno));
  job.waitDescriptor = helperWaitDescriptor;
  job.descriptorLimit = qint64(DescriptorLimit::startingSoftLimit());
  std::vector<std::pair<int, int>> inherited{{fds[0], helperWaitDescriptor}};
  if (stagingLock >= 0) {
    job.stagingLockDescriptor = helperStagingLockDescriptor;
    inherited.emplace_back(stagingLock, helperStagingLockDescriptor);
  }
  pid_t pid = -1;
  try {
    PrivateFile::write(jobPath, job.encode());
    pid = spawnDetached(executable, {QLatin1String(helperSwitch), jobPath}, job.logFile, inherited);
  } catch (const std::exception &e) {
    ::close(fds[0]);
    ::close(fds[1]);
    if (const auto *u = dynamic_cast<const UpdateError *>(&e))
      throw *u;
    installFailure(QString::fromUtf8(e.what()));
  }
  ::close(fds[0]);
  return {pid, fds[1]};
}

void UpdateInstaller::swap(const InstallJob &job) {
  StagedBundle::validateBundle(job.stagedDirectory, job.expected);
  const QByteArray app = native(job.appDirectory), staged = native(job.stagedDirectory),
                   backup = native(job.backupDirectory);
  struct stat st {};
  if (::lstat(backup.constData(), &st) == 0)
    installFailure(tr("%1 is in the way.").arg(job.backupDirectory));
  if (::renameat2(AT_FDCWD, app.constData(), AT_FDCWD, staged.constData(), RENAME_EXCHANGE) == 0) {
    // The old tree now sits where the staged one was; move it aside under its backup name.
    if (::rename(staged.constData(), backup.constData()) != 0)
      qWarning("update: the previous version stays at %s", staged.constData());
  } else if (errno == EINVAL || errno == ENOSYS) {
    if (::rename(app.constData(), backup.constData()) != 0)
      installFailure(systemError(errno));
    if (::rename(staged.constData(), app.constData()) != 0) {
      const int error = errno;
      ::rename(backup.constData(), app.constData());
      installFailure(systemError(error));
    }
  } else {
    installFailure(systemError(errno));
  }
  // The staging folder held only the new tree and is empty now.
  ::rmdir(native(QFileInfo(job.stagedDirectory).absolutePath()).constData());
  fsyncFolder(QFileInfo(job.appDirectory).absolutePath());
}

int UpdateInstaller::runHelper(const QString &jobPath) {
  InstallJob job;
  try {
    job = InstallJob::decode(readPrivateJob(jobPath));
  } catch (const UpdateError &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
  // Inherited raised from the application; the relaunch starts with the user's.
  if (job.descriptorLimit >= 0)
    DescriptorLimit::setSoftLimit(quint64(job.descriptorLimit));
  if (job.waitDescriptor >= 0)
    waitForEndOfFile(job.waitDescriptor);
  InstallResult result{QLatin1String(InstallResult::installed), job.fromVersion, job.expected.version, {}};
  FileLock lock;
  Outcome outcome = Outcome::swapped;
  try {
    outcome = install(job, lock);
  } catch (const UpdateError &e) {
    result.status = QLatin1String(InstallResult::failed);
    result.error = e.description();
  }
  if (outcome == Outcome::deferred) {
    // Still in use from another display: nothing failed, the last
    // instance to quit installs it.
    InstallJob kept = job;
    kept.relaunch = false;
    kept.waitDescriptor = -1;
    kept.stagingLockDescriptor = -1;
    try {
      PrivateFile::write(pendingJobPath(QFileInfo(job.resultFile).absolutePath()), kept.encode());
    } catch (const std::exception &e) {
      std::fprintf(stderr, "%s\n", e.what());
    }
  } else {
    if (outcome == Outcome::superseded) {
      removeStaging(job);
      try {
        result.to = BundleInfo::load(job.appDirectory).version;
      } catch (const std::exception &) {
      }
    }
    dropPendingFor(job, result.status == QLatin1String(InstallResult::installed));
    try {
      PrivateFile::write(job.resultFile, result.encode());
    } catch (const std::exception &e) {
      std::fprintf(stderr, "%s\n", e.what());
    }
  }
  QFile::remove(jobPath);
  lock = FileLock(); // before the relaunch, which takes the same lock shared
  if (job.stagingLockDescriptor > 2)
    ::close(job.stagingLockDescriptor);
  if (!job.relaunch)
    return result.status == QLatin1String(InstallResult::installed) ? 0 : 1;
  try {
    spawnDetached(job.appDirectory + QStringLiteral("/bin/crel"), job.relaunchArguments, job.logFile, {});
  } catch (const UpdateError &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return result.status == QLatin1String(InstallResult::installed) ? 0 : 1;
}

} // namespace crel::update
