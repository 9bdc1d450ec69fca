#pragma once

#include "ClipboardBoard.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QStringList>

#include <xcb/xcb.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QSocketNotifier;

namespace crel {

// Another program's X11 CLIPBOARD, read on a connection of Crel's own: a
// read ends by its deadline whatever the owner does, and keeps at most its
// cap (Qt's reader waits 5 s for each request and reads a whole answer
// before anything is cut). An owner that let a read miss its deadline is not
// asked again until the selection changes hands, which XFixes tells of. The
// connection is read as its events come, on the thread that made the reader.
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

  X11SelectionReader();
  ~X11SelectionReader();
  X11SelectionReader(const X11SelectionReader &) = delete;
  X11SelectionReader &operator=(const X11SelectionReader &) = delete;

  State state() const;
  // The MIME types offered; text by any of its X11 names is "text/plain".
  QStringList types(const QDeadlineTimer &deadline);
  ClipboardRead read(const QString &mimeType, const QDeadlineTimer &deadline, qsizetype cap);

private:
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
    QDeadlineTimer bound;
    // The requests asking each chunk's size, in order.
    std::deque<unsigned int> sizes;
  };

  ClipboardRead readOffered(const QString &mimeType, const QDeadlineTimer &deadline, qsizetype cap);
  std::optional<Selection> current(const QDeadlineTimer &deadline);
  const Offer *offer(const QDeadlineTimer &deadline);
  Answer convert(xcb_atom_t target, const Selection &selection, const QDeadlineTimer &deadline, qsizetype cap);
  Answer receive(Transfer &transfer, const QDeadlineTimer &deadline, qsizetype cap);
  bool waitFor(const QDeadlineTimer &deadline, const std::function<bool()> &done);
  void *replyBy(unsigned int sequence, const QDeadlineTimer &deadline);
  void onReadable();
  bool handleEvents();
  void handle(const xcb_generic_event_t *event);
  bool takeChunkSizes();
  void endDrain();

  xcb_connection_t *connection_ = nullptr;
  bool withoutFixes_ = false;
  std::unique_ptr<QSocketNotifier> notifier_;
  xcb_window_t root_ = XCB_WINDOW_NONE;
  xcb_atom_t clipboard_ = XCB_ATOM_NONE, targets_ = XCB_ATOM_NONE, incr_ = XCB_ATOM_NONE, property_ = XCB_ATOM_NONE,
             utf8_ = XCB_ATOM_NONE;
  uint8_t fixesEvent_ = 0;
  // The latest taking XFixes told of.
  std::optional<Selection> latest_;
  quint64 changes_ = 0;
  // The taking whose owner let a read miss its deadline.
  std::optional<Selection> missed_;
  std::optional<Offer> offer_;
  // The request a read waits on now.
  Transfer *transfer_ = nullptr;
  std::optional<Drain> drain_;
};

} // namespace crel
