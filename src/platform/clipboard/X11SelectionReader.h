#pragma once

#include "ClipboardBoard.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QStringList>

#include <xcb/xcb.h>

#include <optional>
#include <utility>

namespace crel {

// Another program's X11 CLIPBOARD, read on a connection of Crel's own: a
// read ends by its deadline whatever the owner does, and keeps at most its
// cap (Qt's reader waits 5 s for each request and reads a whole answer
// before anything is cut). An owner that let a read miss its deadline is not
// asked again until the selection changes hands, which XFixes tells of.
class X11SelectionReader {
public:
  X11SelectionReader();
  ~X11SelectionReader();
  X11SelectionReader(const X11SelectionReader &) = delete;
  X11SelectionReader &operator=(const X11SelectionReader &) = delete;

  // False without an X server or its XFixes extension.
  bool connected() const;
  // The MIME types offered; text by any of its X11 names is "text/plain".
  QStringList types(const QDeadlineTimer &deadline);
  ClipboardRead read(const QString &mimeType, const QDeadlineTimer &deadline, qsizetype cap);

private:
  // One taking of the selection: the owner's window and its time (0 until
  // an XFixes event told it).
  struct Selection {
    xcb_window_t owner = XCB_WINDOW_NONE;
    xcb_timestamp_t taken = 0;
    bool operator==(const Selection &) const = default;
  };
  // A selection's targets by name.
  struct Offer {
    Selection selection;
    QList<std::pair<QByteArray, xcb_atom_t>> targets;
  };
  struct Answer {
    QByteArray bytes;
    bool inTime = false;
  };

  std::optional<Selection> current(const QDeadlineTimer &deadline);
  const Offer *offer(const QDeadlineTimer &deadline);
  Answer convert(xcb_atom_t target, const QDeadlineTimer &deadline, qsizetype cap);
  xcb_generic_event_t *nextEvent(const QDeadlineTimer &deadline);
  void note(const xcb_generic_event_t *event);

  xcb_connection_t *connection_ = nullptr;
  xcb_window_t root_ = XCB_WINDOW_NONE;
  xcb_atom_t clipboard_ = XCB_ATOM_NONE, targets_ = XCB_ATOM_NONE, incr_ = XCB_ATOM_NONE, property_ = XCB_ATOM_NONE;
  uint8_t fixesEvent_ = 0;
  // The latest taking XFixes told of.
  std::optional<Selection> latest_;
  // The taking whose owner let a read miss its deadline.
  std::optional<Selection> missed_;
  std::optional<Offer> offer_;
};

} // namespace crel
