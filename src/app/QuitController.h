#pragma once

#include <QObject>
#include <QPointer>

#include <exception>
#include <functional>
#include <vector>

namespace crel {

// Decides whether the application may end, then asks the editors whose work
// would be lost one after another; the run ends only once every editor open
// then agreed, those opened while it asked too.
// Every way of quitting goes through here.
class QuitController : public QObject {
  Q_OBJECT
public:
  // One open editor as the quit rule sees it; a hook may find its editor gone.
  struct Editor {
    // Commits an open text edit and writes a pending save; errors are the
    // editor's own to show, and make it need a decision.
    std::function<void()> finishAndFlush;
    // Never saved, changed since, or its last save failed.
    std::function<bool()> needsDecision;
    std::function<void()> bringForward;
    // The editor's discard prompt; the completion hears once whether it may go.
    std::function<void(std::function<void(bool)>)> confirmDiscard;
    // Tells editors apart across collections: each is asked once per quit.
    QPointer<const QObject> identity;
  };
  struct Hooks {
    // An update is installing or staged to install on quit.
    std::function<bool()> updatePending;
    std::function<bool()> busy;
    // Keeps the open editors for the relaunch; throws with the sentence to show.
    std::function<void()> saveUpdateSession;
    std::function<void(const std::exception_ptr &)> report;
    std::function<void()> cancelCapture;
    std::function<std::vector<Editor>()> editors;
    // Ends the run; called once, when the answer is yes.
    std::function<void()> terminate;
  };
  enum class Reply { now, later, cancel };
  // The user may be refused while an update cannot keep the editors; the
  // desktop (a signal, the end of the session) goes on without the update.
  enum class From { user, desktop };

  explicit QuitController(Hooks hooks, QObject *parent = nullptr);

  // now: terminate was called. later: editors are being asked, answered()
  // follows. cancel: the run goes on. A request while editors are being
  // asked brings the one asked forward and changes nothing. `mayAsk`, when
  // given, is asked before the first prompt; no answers cancel.
  Reply requestQuit(From from = From::user, const std::function<bool()> &mayAsk = {});
  bool isAsking() const { return asking_; }
  // From the start of a quit until it is cancelled; for good once the run ends.
  bool isUnderWay() const { return underWay_; }

Q_SIGNALS:
  // The end of a round of prompts: after terminate, or cancelled.
  void answered(bool quits);
  // A quit under way was cancelled, however: the run goes on.
  void stopped();

private:
  // Flushes the editors not asked yet and lists those needing a decision;
  // they count as asked from here.
  std::vector<Editor> undecided();
  void ask(std::vector<Editor> pending, size_t next);
  // Reports a failure; false then.
  bool writeSession();
  void cancelled();
  void stop();

  Hooks hooks_;
  bool asking_ = false;
  bool underWay_ = false;
  bool terminated_ = false;
  Editor current_;
  From from_ = From::user;
  // The update session was written; an editor seen since is not in it.
  bool sessionWritten_ = false;
  bool editorsCame_ = false;
  std::vector<QPointer<const QObject>> seen_, asked_;
  // Answers from a prompt of an earlier round go nowhere.
  unsigned round_ = 0;
};

} // namespace crel
