#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

class QClipboard;

namespace crel::acceptance {

// The user's clipboard, kept while the run copies into it. X has no change
// count, so one is kept here from the clipboard's change signal: the run
// notes its own writes, and anything counted after the last note is
// someone else's.
class ClipboardGuard : public QObject {
  Q_OBJECT
public:
  // Takes the snapshot: every format the clipboard offers now, with its bytes.
  explicit ClipboardGuard(QClipboard &clipboard, QObject *parent = nullptr);

  int changeCount() const { return changes_; }
  // The run has written the clipboard; the changes so far are its own.
  void noteOwnWrite() { noted_ = changes_; }
  // Whether nobody else has written since the run's last noted write.
  bool unchangedSinceOwnWrite() const { return noted_ == changes_; }
  // When nobody else has written since the last noted write, clears the
  // clipboard and puts the snapshot back; true when it did. Otherwise the
  // other writer's content stays.
  bool restore();

private:
  QClipboard &clipboard_;
  QList<QPair<QString, QByteArray>> formats_;
  int changes_ = 0;
  int noted_ = 0;
};

} // namespace crel::acceptance
