#pragma once

#include "ClipboardBoard.h"

#include <QObject>
#include <QProcessEnvironment>

#include <memory>

namespace crel {

// The Wayland selection, set and read through the compositor's data-control
// protocol on a connection of Crel's own. It needs no surface and no
// keyboard focus, so a copy reaches Wayland-native programs whatever window
// has the keyboard, and X11 programs through the compositor's bridge once
// they are focused. Pastes are served off the main thread.
//
// No clipboard manager takes a copy over on this route: what Crel published
// stays on the clipboard while Crel runs and goes when it quits.
class DataControlClipboard final : public ClipboardBoard {
public:
  explicit DataControlClipboard(const QProcessEnvironment &environment);
  ~DataControlClipboard() override;
  DataControlClipboard(const DataControlClipboard &) = delete;
  DataControlClipboard &operator=(const DataControlClipboard &) = delete;

  // How this use goes: through data-control; by the X11 clipboard, where
  // the compositor refused the connection, answered without data-control or
  // a seat, or closed the connection after listing data-control; or `none`,
  // where it did not answer by `deadline` or closed the connection before
  // answering at all. The connection is opened at the first use and kept:
  // the selection it sets lives as long as the connection. One that failed,
  // or a compositor that did not answer, is tried again at the next use;
  // only a compositor that answered without data-control or a seat is not
  // asked again.
  enum class Route { dataControl, x11, none };
  Route route(const QDeadlineTimer &deadline);

  // publish, types and read use the connection: call them only right after
  // route() answered `dataControl` (only then is there one).

  // False when the compositor did not take the content.
  bool publish(const QMap<QString, QByteArray> &formats, const std::optional<QString> &text,
               const QDeadlineTimer &deadline) override;
  // What a paste gets now: what we published while it is the selection,
  // otherwise the types and bytes of whoever holds it; nothing from an owner
  // that already let a read of its selection miss the deadline.
  QStringList types(const QDeadlineTimer &deadline) override;
  ClipboardRead read(const QString &mimeType, const QDeadlineTimer &deadline, qsizetype cap) override;
  // At the end of the run, when no loop serves the connection: what we
  // published is no longer offered, so a paste asked from now on finds no
  // selection at once; those asked before are served.
  void withdraw(const QDeadlineTimer &deadline);

  struct Connection;

private:
  const QProcessEnvironment environment_;
  std::unique_ptr<Connection> connection_;
  bool offered_ = true;
  // Tells a connection's queued close from a later connection's.
  quint64 generation_ = 0;
  QObject closer_;
};

} // namespace crel
