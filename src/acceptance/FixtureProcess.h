#pragma once

#include "AcceptanceWait.h"

#include <QByteArray>
#include <QProcess>
#include <QString>

namespace crel::acceptance {

// The fixture copy of the application, launched and driven over its
// standard streams. It dies with this process (parent-death signal, and
// end of file on its input). Its replies are only acknowledgements: the
// harness checks effects through the window server.
class FixtureProcess {
public:
  FixtureProcess() = default;
  ~FixtureProcess();
  FixtureProcess(const FixtureProcess &) = delete;
  FixtureProcess &operator=(const FixtureProcess &) = delete;

  // Starts <appDir>/bin/crel and waits for READY; throws Failure otherwise.
  void launch(const QString &appDir, const Sleep &sleep = EventPump::sleep);
  qint64 pid() const { return pid_; }
  quint32 titledWindow() const { return titled_; }
  quint32 shieldWindow() const { return shield_; }

  // Sends a command and waits for its reply line.
  void command(const QByteArray &line, const QByteArray &expectedReply, const Sleep &sleep = EventPump::sleep);
  // "quit", then SIGTERM after 2 s and SIGKILL after 5 s; waits for the end.
  void terminate();
  bool running() const { return process_.state() != QProcess::NotRunning; }

private:
  QByteArray nextLine(const QString &failure, const Sleep &sleep);

  QProcess process_;
  qint64 pid_ = 0;
  quint32 titled_ = 0;
  quint32 shield_ = 0;
};

} // namespace crel::acceptance
