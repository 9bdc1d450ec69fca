#include "LaunchProcess.h"

#include <QDeadlineTimer>
#include <QDir>

#include <csignal>

namespace crel::test {

namespace {

ProcessResult collect(QProcess &process, int limitMs = 30000) {
  ProcessResult result;
  result.finished = process.waitForFinished(limitMs);
  if (!result.finished) {
    process.kill();
    process.waitForFinished();
  }
  result.crashed = process.exitStatus() == QProcess::CrashExit;
  result.status = result.finished && !result.crashed ? process.exitCode() : -1;
  result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
  result.err += QString::fromLocal8Bit(process.readAllStandardError());
  return result;
}

} // namespace

QProcessEnvironment isolatedEnvironment(const QString &home) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "CREL_BUNDLE_DIR", "XDG_CONFIG_DIRS"})
    environment.remove(QLatin1String(name));
  environment.insert("HOME", home);
  environment.insert("XDG_CONFIG_HOME", home + "/.config");
  environment.insert("XDG_CONFIG_DIRS", home + "/system-config");
  environment.insert("XDG_RUNTIME_DIR", home);
  // The runtime folder is otherwise one for the whole user: a launch here
  // would meet another test's instance.
  environment.insert("CREL_RUNTIME_DIR", home + "/run");
  return environment;
}

ProcessResult runProgram(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
                         const QString &workingDirectory, int limitMs) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.setWorkingDirectory(workingDirectory);
  process.start(program, arguments);
  process.closeWriteChannel();
  return collect(process, limitMs);
}

ProcessResult runUntilReadyThenSignal(const QString &program, const QStringList &arguments,
                                      const QProcessEnvironment &environment, const QString &readyText,
                                      int signalNumber) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  QString err;
  QDeadlineTimer deadline(30000);
  while (!err.contains(readyText) && process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
    process.waitForReadyRead(100);
    err += QString::fromLocal8Bit(process.readAllStandardError());
  }
  if (process.state() != QProcess::NotRunning)
    ::kill(static_cast<pid_t>(process.processId()), signalNumber);
  ProcessResult result = collect(process);
  result.err.prepend(err);
  return result;
}

bool copyTree(const QString &from, const QString &to) {
  QProcess cp;
  cp.start(QStringLiteral("cp"), {QStringLiteral("-a"), QDir(from).absolutePath(), to});
  return cp.waitForFinished(30000) && cp.exitStatus() == QProcess::NormalExit && cp.exitCode() == 0;
}

} // namespace crel::test
