#pragma once

#include "CommandLine.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace crel {

// What a second launch asks the running instance to do, as one line on the
// instance socket: {"v":1,"cmd":"reopen"|"open"|"capture","paths":[...],
// "notOpened":N,"deadline":MS}.
struct ForwardedLaunch {
  enum class Command { reopen, open, capture };
  static constexpr qsizetype maxLineBytes = 64 * 1024;
  // The most files one launch opens, whether it is the first or forwards
  // them: each is an editor with its image in memory. The rest are counted,
  // and the user is told how many did not open.
  static constexpr qsizetype maxPaths = 50;
  // What is done this close to the deadline could be answered too late: the
  // launch would report a failure for a request that was carried out.
  static constexpr int answerMarginMs = 1000;

  Command command = Command::reopen;
  QStringList paths; // absolute; only for open
  // Files named after the first maxPaths, or beyond what the line holds:
  // not opened, but told. An open request may carry only these.
  qsizetype notOpened = 0;
  // When the launch stops waiting for the answer and reports a failure, on
  // the system's monotonic clock (QDeadlineTimer::deadline(), the same in
  // every process); 0 when it waits forever (a launch that sends none).
  qint64 deadline = 0;

  // Too late to carry out: the launch has given up, or will before the
  // answer reaches it.
  bool isLate() const;
  // The time left to answer in, less the margin; none without a deadline.
  std::optional<qint64> answerWithinMs() const;

  // The request a launch with these arguments forwards: the files named on
  // it made absolute against `currentFolder` (the first maxPaths that fit on
  // the line, the rest counted), else --capture, else a plain reopen. None
  // for a login launch, which must change nothing.
  static std::optional<ForwardedLaunch> fromCommandLine(const CommandLine &commandLine, const QString &currentFolder);

  // One line ending in '\n'; empty when the request breaks the limits.
  QByteArray encode() const;
  // None for anything but a well-formed request within the limits.
  static std::optional<ForwardedLaunch> decode(const QByteArray &line);

  static QByteArray encodeReply(bool ok);
  // None for a malformed reply.
  static std::optional<bool> decodeReply(const QByteArray &line);
  // Said before the answer to a request that will be carried out however
  // long it takes: from then on its launch waits while the instance lives.
  static QByteArray encodeAcceptance();
  static bool isAcceptance(const QByteArray &line);

  friend bool operator==(const ForwardedLaunch &, const ForwardedLaunch &) = default;
};

} // namespace crel
