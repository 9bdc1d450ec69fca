#pragma once

#include "ClipboardBoard.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QImage>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QObject;

namespace crel {

class DataControlClipboard;
class QtClipboardBoard;

// The general pasteboard. A copy is clear() then its writes: clear() only
// starts a new set and leaves the clipboard as it is, and each write
// publishes the set written since in one step, so a copy of one
// representation is one publication, never a giving up and a taking again.
// Writes report whether the pasteboard took the data.
class Pasteboard {
public:
  virtual ~Pasteboard() = default;
  virtual void clear() = 0;
  virtual bool writeData(const QString &mimeType, const QByteArray &data) = 0;
  virtual bool writeText(const QString &text) = 0;
  // Makes `text` the whole content in one step: on refusal the previous
  // content is still there. The default clears first and cannot promise that.
  virtual bool replaceWithText(const QString &text) {
    clear();
    return writeText(text);
  }
  // Calls `done` with true once the last publication is where other
  // programs read it, false when it could not be placed there; not at all
  // once `context` is gone. Most boards know at once and call it before
  // returning.
  virtual void whenPlaced(QObject * /*context*/, std::function<void(bool)> done) { done(true); }

  // What a paste asking for `mimeType` gets: the bytes written for it;
  // empty when none were.
  QByteArray read(const QString &mimeType) const;
  // The image a paste gets: the first written representation that decodes;
  // null when none does.
  QImage readImage() const;

  // The system clipboard, unless a stand-in is installed.
  static Pasteboard &general();
  // Makes general() answer `board` until called again with nullptr. The
  // self-test installs a private board so a run never touches the clipboard.
  static void overrideGeneral(Pasteboard *board);
  // The end of the run: the system clipboard stops offering Crel's copy
  // where no loop would serve it, then the pastes in flight are waited for
  // while they progress (PasteServer::finish), and alongside them an X11
  // owner still finishing an answer a read cut at the cap.
  static void finishPastes();

protected:
  // When one read, of the types and of bytes together, must end.
  virtual QDeadlineTimer readDeadline() const { return QDeadlineTimer(QDeadlineTimer::Forever); }
  // The MIME types on the board, and the bytes of one; empty when absent.
  virtual QStringList types(const QDeadlineTimer &deadline) const = 0;
  virtual QByteArray bytes(const QString &mimeType, const QDeadlineTimer &deadline) const = 0;
};

// The system clipboard of the session. On a Wayland session it is set
// through the compositor's data-control protocol where it offers one (and
// the X11 clipboard is then left alone: two owners would fight, and a copy
// the compositor did not answer in time fails and leaves it too); elsewhere
// through QClipboard, and on a Wayland session a copy counts as placed only
// once the compositor's bridge fetched it. A read ends by one deadline and
// keeps at most a cap of another program's bytes; what Crel's Qt side holds
// on the X11 clipboard is read from it.
struct ClipboardLimits {
  // How long one use (a copy or a read) may wait for the compositor.
  int answerMs = 2000;
  // The most a read keeps of another program's bytes.
  qsizetype readCap = qsizetype(1) << 20;
  DrainBounds drain;
};

class ClipboardPasteboard final : public Pasteboard {
public:
  // Tests shorten the limits.
  explicit ClipboardPasteboard(const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                               ClipboardLimits limits = {});
  ~ClipboardPasteboard() override;
  void clear() override;
  bool writeData(const QString &mimeType, const QByteArray &data) override;
  bool writeText(const QString &text) override;
  bool replaceWithText(const QString &text) override;
  void whenPlaced(QObject *context, std::function<void(bool)> done) override;
  // See DataControlClipboard::withdraw.
  void withdraw();
  // The end of the run, which began at `start`: waits for an owner whose
  // answer a read cut at the cap to finish it, within the drain's end
  // bounds counted from then.
  void finishDrain(std::chrono::steady_clock::time_point start);

protected:
  QDeadlineTimer readDeadline() const override { return QDeadlineTimer(limits_.answerMs); }
  QStringList types(const QDeadlineTimer &deadline) const override;
  QByteArray bytes(const QString &mimeType, const QDeadlineTimer &deadline) const override;

private:
  ClipboardBoard &board(const QDeadlineTimer &deadline) const;
  bool publish();
  // The set written since the last clear.
  QMap<QString, QByteArray> formats_;
  std::optional<QString> text_;
  const ClipboardLimits limits_;
  // Data-control only on a Wayland session.
  const std::unique_ptr<DataControlClipboard> dataControl_;
  const std::unique_ptr<QtClipboardBoard> qt_;
  ClipboardBoard *published_ = nullptr;
  // Whether the last publication was taken.
  bool placed_ = true;
};

// In-memory pasteboard for tests; its writes can be told to fail.
class FakePasteboard final : public Pasteboard {
public:
  void clear() override;
  bool writeData(const QString &mimeType, const QByteArray &data) override;
  bool writeText(const QString &text) override;
  bool replaceWithText(const QString &text) override;
  // Answers at once, unless `holdPlacement`: then `placement` takes the
  // answer.
  void whenPlaced(QObject *context, std::function<void(bool)> done) override;

  // The written data, and the text as "text/plain", as a paste would see them.
  QMap<QString, QByteArray> representations() const;

  bool failWrites = false;
  bool holdPlacement = false;
  std::function<void(bool)> placement;
  int clearCount = 0;
  QMap<QString, QByteArray> data;
  std::optional<QString> text;

protected:
  QStringList types(const QDeadlineTimer &) const override { return representations().keys(); }
  QByteArray bytes(const QString &mimeType, const QDeadlineTimer &) const override {
    return representations().value(mimeType);
  }
};

} // namespace crel
