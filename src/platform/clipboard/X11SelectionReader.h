#pragma once

#include "ClipboardBoard.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QStringList>

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace crel {

// Another program's X11 CLIPBOARD, read on a connection of Crel's own: a
// read ends by its deadline whatever the owner does, and keeps at most its
// cap (Qt's reader waits 5 s for each request and reads a whole answer
// before anything is cut). An owner that let a read miss its deadline is not
// asked again until the selection changes hands, which XFixes tells of. The
// connection is read by a thread of the reader's own, which alone touches
// it and keeps pace with any flood of changes; reads are handed to it.
class X11SelectionReader {
public:
  enum class State {
    reading,
    // The connection was made and then broke (an owner may close it).
    broken,
    // No connection could be made.
    unreachable,
    // The X server has no XFixes: this reader cannot tell who holds the
    // selection.
    withoutFixes,
  };

  explicit X11SelectionReader(DrainBounds bounds = {});
  // Lets go of a drain still going: finish() waits for it.
  ~X11SelectionReader();
  X11SelectionReader(const X11SelectionReader &) = delete;
  X11SelectionReader &operator=(const X11SelectionReader &) = delete;

  State state() const;
  // The MIME types offered; text by any of its X11 names is "text/plain".
  QStringList types(const QDeadlineTimer &deadline);
  ClipboardRead read(const QString &mimeType, const QDeadlineTimer &deadline, qsizetype cap);
  // The end of the run, which began at `start`: an owner finishing an
  // answer cut at the cap is waited for within the bounds' end values,
  // counted from then; not once the connection broke.
  void finish(std::chrono::steady_clock::time_point start);

private:
  using Clock = std::chrono::steady_clock;
  // One taking of the selection: the owner's window, and the count of the
  // changes XFixes told of until it. A window's id and the server's time can
  // both come again: a new owner may get a gone one's id at the same time.
  struct Selection {
    xcb_window_t owner = XCB_WINDOW_NONE;
    quint64 change = 0;
    bool operator==(const Selection &) const = default;
  };
  // A selection's targets by name.
  struct Offer {
    Selection selection;
    QList<std::pair<QByteArray, xcb_atom_t>> targets;
  };
  struct Answer {
    QByteArray bytes;
    // The type the owner gave its property.
    xcb_atom_t type = XCB_ATOM_NONE;
    bool inTime = false;
  };
  // What the events told of the request a read waits on, in its own window.
  struct Transfer {
    xcb_window_t window = XCB_WINDOW_NONE;
    bool answered = false, refused = false;
    // A chunk of an incremental answer was written.
    bool written = false;
    bool ownerGone = false;
    // Stopped at the cap with chunks to come.
    bool cut = false;
  };
  // An incremental answer cut at the cap whose owner is let finish: each
  // further chunk is deleted unread, until the owner's empty one.
  struct Drain {
    Selection selection;
    xcb_atom_t target = XCB_ATOM_NONE;
    Answer answer;
    xcb_window_t window = XCB_WINDOW_NONE;
    Clock::time_point since, lastChunk;
    // The requests asking each chunk's size, in order.
    std::deque<unsigned int> sizes;
  };

  // A read handed to the thread.
  struct Job {
    std::function<void()> work;
    bool done = false;
  };

  void run();
  bool onThread(std::function<void()> work, const QDeadlineTimer &deadline);
  void wake();
  bool connected();
  QStringList offeredTypes(const QDeadlineTimer &deadline);
  ClipboardRead readOffered(const QString &mimeType, const QDeadlineTimer &deadline, qsizetype cap);
  std::optional<Selection> current(const QDeadlineTimer &deadline);
  const Offer *offer(const QDeadlineTimer &deadline);
  Answer convert(xcb_atom_t target, const Selection &selection, const QDeadlineTimer &deadline, qsizetype cap);
  Answer receive(Transfer &transfer, const QDeadlineTimer &deadline, qsizetype cap);
  bool waitFor(const QDeadlineTimer &deadline, const std::function<bool()> &done);
  void *replyBy(unsigned int sequence, const QDeadlineTimer &deadline);
  bool handleEvents();
  void handle(const xcb_generic_event_t *event);
  bool takeChunkSizes();
  Clock::time_point letGo() const;
  void endDrain();

  const DrainBounds bounds_;
  xcb_connection_t *connection_ = nullptr;
  std::atomic<State> state_ = State::unreachable;
  xcb_window_t root_ = XCB_WINDOW_NONE;
  xcb_atom_t clipboard_ = XCB_ATOM_NONE, targets_ = XCB_ATOM_NONE, incr_ = XCB_ATOM_NONE, property_ = XCB_ATOM_NONE,
             utf8_ = XCB_ATOM_NONE, plainUtf8_ = XCB_ATOM_NONE;
  uint8_t fixesEvent_ = 0;
  // The thread's alone, up to the shared part.
  // The latest taking XFixes told of.
  std::optional<Selection> latest_;
  quint64 changes_ = 0;
  // The taking whose owner let a read miss its deadline.
  std::optional<Selection> missed_;
  std::optional<Offer> offer_;
  // The request a read waits on now.
  Transfer *transfer_ = nullptr;
  std::optional<Drain> drain_;
  // When the end of the run began, as the thread last saw it.
  std::optional<Clock::time_point> endSeen_;

  // Shared between the thread and the others, under the mutex.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::shared_ptr<Job> job_;
  std::optional<Clock::time_point> ending_;
  bool draining_ = false, stop_ = false;
  // Wakes the thread from its wait on the connection.
  int wake_ = -1;
  std::thread thread_;
};

} // namespace crel
