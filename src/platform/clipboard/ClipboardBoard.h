#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QMap>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

class QObject;

namespace crel {

// What a read got. Complete when the owner finished or the cap was reached;
// a part cut off by the deadline is not, and is never pasted as if whole.
struct ClipboardRead {
  QByteArray bytes;
  bool complete = false;
};

// `bytes` without a UTF-8 sequence cut short at the end.
QByteArray wholeCharacters(QByteArray bytes);

// How long an owner whose answer a read cut at the cap is let finish it:
// while it sends a chunk every `stall`, for at most `whole`. At the end of
// the run, after `endStall` without a chunk (counted from the last one or
// the start of the end's wait, whichever is later), and at most `endWhole`
// from that start.
struct DrainBounds {
  std::chrono::milliseconds stall{5000}, whole{600000}, endStall{1000}, endWhole{30000};
};

// One way to the system clipboard; ClipboardPasteboard picks one for each
// use. A use ends by its deadline, however the other side answers.
class ClipboardBoard {
public:
  virtual ~ClipboardBoard() = default;
  // Makes `formats` (bytes by MIME type), with `text` when given, the whole
  // content in one step; false when it was not taken.
  virtual bool publish(const QMap<QString, QByteArray> &formats, const std::optional<QString> &text,
                       const QDeadlineTimer &deadline) = 0;
  // As Pasteboard::whenPlaced, for this board's last publication.
  virtual void whenPlaced(QObject * /*context*/, std::function<void(bool)> done) { done(true); }
  // What a paste gets now; of another program's bytes at most `cap`.
  virtual QStringList types(const QDeadlineTimer &deadline) = 0;
  virtual ClipboardRead read(const QString &mimeType, const QDeadlineTimer &deadline, qsizetype cap) = 0;
};

} // namespace crel
