#include "FixtureProcess.h"

#include "selfcheck/Failure.h"

#include <QDir>

#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>

namespace crel::acceptance {

FixtureProcess::~FixtureProcess() { terminate(); }

QByteArray FixtureProcess::nextLine(const QString &failure, const Sleep &sleep) {
  wait(
      failure,
      [this] {
        process_.waitForReadyRead(0);
        return process_.canReadLine() || process_.state() == QProcess::NotRunning;
      },
      sleep);
  if (!process_.canReadLine())
    throw NativeTests::Failure(failure);
  return process_.readLine().trimmed();
}

void FixtureProcess::launch(const QString &appDir, const Sleep &sleep) {
  process_.setProgram(QDir(appDir).filePath(QStringLiteral("bin/crel")));
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  // Dies with its controller; the parent may already be gone by the time
  // the signal is armed, so check once more after arming it.
  const pid_t parent = getpid();
  process_.setChildProcessModifier([parent] {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
      ::_exit(1);
  });
  process_.start();
  const QString failure = QStringLiteral("Fixture did not finish launching");
  if (!process_.waitForStarted(5000))
    throw NativeTests::Failure(failure);
  const QList<QByteArray> fields = nextLine(failure, sleep).split(' ');
  if (fields.size() != 4 || fields[0] != "READY")
    throw NativeTests::Failure(failure);
  pid_ = fields[1].toLongLong();
  titled_ = fields[2].toUInt();
  shield_ = fields[3].toUInt();
}

void FixtureProcess::command(const QByteArray &line, const QByteArray &expectedReply, const Sleep &sleep) {
  process_.write(line + '\n');
  process_.waitForBytesWritten(1000);
  const QString failure = QStringLiteral("Fixture did not answer ") + QString::fromUtf8(line);
  if (nextLine(failure, sleep) != expectedReply)
    throw NativeTests::Failure(failure);
}

void FixtureProcess::terminate() {
  if (process_.state() == QProcess::NotRunning)
    return;
  process_.write("quit\n");
  process_.closeWriteChannel();
  if (process_.waitForFinished(2000))
    return;
  process_.terminate();
  if (process_.waitForFinished(3000))
    return;
  process_.kill();
  process_.waitForFinished(5000);
}

} // namespace crel::acceptance
