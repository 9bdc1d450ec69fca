#pragma once

#include "StagedBundle.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include <sys/types.h>

namespace crel::update {

// What the installer helper is asked to do, written by the running
// application into its private cache folder just before it exits.
struct InstallJob {
  QString appDirectory;
  QString stagedDirectory; // the application folder inside the staging folder
  QString backupDirectory; // where the old application folder ends up
  StagedBundle::Expectation expected;
  QString fromVersion;
  bool relaunch = false;
  QStringList relaunchArguments;
  QString resultFile;
  QString logFile;
  // The copy's lock: every instance running from the copy holds it shared;
  // the helper takes it exclusively, so it swaps only once all have quit.
  QString lockFile;
  int lockWaitMs = 60000;
  int waitDescriptor = -1; // the helper waits for end of file here
  // Inherited lock on the staging folder, so that no instance starting
  // meanwhile takes it for abandoned; closed before the relaunch.
  int stagingLockDescriptor = -1;
  // The soft descriptor limit the application was started with, which the
  // helper sets back before it relaunches it; -1 (jobs of earlier
  // versions): the limit as inherited.
  long long descriptorLimit = -1;

  QByteArray encode() const;
  // Throws UpdateError (install) when the job is malformed.
  static InstallJob decode(const QByteArray &json);
};

// The outcome the next launch reads: {"status": "installed"|"failed", "from", "to", "error"}.
struct InstallResult {
  QString status;
  QString from;
  QString to;
  QString error;

  static constexpr const char *installed = "installed";
  static constexpr const char *failed = "failed";

  bool operator==(const InstallResult &) const = default;
  QByteArray encode() const;
  // Absent when the path holds no readable result; anything else there (a
  // FIFO, a link, junk) is removed.
  static std::optional<InstallResult> read(const QString &path);
};

// Swaps a staged application folder into place after the application has
// exited, through a hidden mode of the old executable.
class UpdateInstaller {
public:
  // The helper mode's switch: `crel --update-installer <job.json>`.
  static constexpr const char *helperSwitch = "--update-installer";
  static constexpr int helperWaitDescriptor = 3;
  static constexpr int helperStagingLockDescriptor = 4;

  // Writes the job (0600) and starts `executable --update-installer job` in a
  // new session, handing it the read end of a pipe whose write end only this
  // process holds, so the helper sees end of file once we have exited, and
  // `stagingLock` (when given) so the staging stays owned until it is done.
  // Returns the helper's process and the write end of the pipe (close it,
  // or exit, to let the helper go on). Throws UpdateError (install).
  struct Helper {
    pid_t pid = -1;
    int pipe = -1;
  };
  static Helper spawnHelper(const QString &executable, const QString &jobPath, InstallJob job, int stagingLock = -1);

  // The helper itself: checks the job file is ours and private, waits for
  // the application to exit, takes the copy's lock, checks the staged folder
  // again, swaps it in atomically, writes the result and relaunches. When
  // other instances still run from the copy after the wait, the job is kept
  // for the last of them to quit and nothing is reported; when the copy was
  // updated meanwhile (another instance staged the same update), the staging
  // is removed and the update counts as installed.
  // Returns the process exit status.
  static int runHelper(const QString &jobPath);
  // Where a job waits whose helper gave up waiting for the copy's other
  // instances: the last instance to quit runs it (in `cacheDirectory`).
  static QString pendingJobPath(const QString &cacheDirectory);
  // The job waiting there, if it is a private file of ours that decodes.
  static std::optional<InstallJob> pendingJob(const QString &cacheDirectory);

  // The user's processes running an executable inside the copy at
  // `appDirectory`, other than this process, its children and installer
  // helpers: the copy's other instances, whether or not their lock file is
  // still there.
  static std::vector<pid_t> processesRunningFrom(const QString &appDirectory);

  // The swap alone, on a decoded job (no waiting, no lock, no relaunch).
  // Throws UpdateError (install); on failure the application folder is as it was.
  static void swap(const InstallJob &job);
};

} // namespace crel::update
