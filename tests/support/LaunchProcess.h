#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace crel::test {

// How one run of a program ended; the status is -1 unless it exited.
struct ProcessResult {
  bool finished = false;
  int status = -1;
  bool crashed = false;
  QString out;
  QString err;
};

// The environment of a launch that cannot touch this user's files or X
// server: a fresh home and config folder, no display, no bundle override.
QProcessEnvironment isolatedEnvironment(const QString &home);

// Runs `program` to its end (`limitMs` at most).
ProcessResult runProgram(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
                         const QString &workingDirectory = {}, int limitMs = 30000);

// Starts `program`, waits until its standard error holds `readyText`, sends
// `signalNumber` and collects the end.
ProcessResult runUntilReadyThenSignal(const QString &program, const QStringList &arguments,
                                      const QProcessEnvironment &environment, const QString &readyText,
                                      int signalNumber);

// Copies a folder tree, keeping modes (a real copy, not links).
bool copyTree(const QString &from, const QString &to);

} // namespace crel::test
