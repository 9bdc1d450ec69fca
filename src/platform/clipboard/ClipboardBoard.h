#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QMap>
#include <QString>
#include <QStringList>

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
