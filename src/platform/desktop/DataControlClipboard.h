#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

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
class DataControlClipboard {
public:
  // Null when there is no Wayland display, it does not answer, it has no
  // seat or it offers no data-control.
  static std::unique_ptr<DataControlClipboard> open(const QProcessEnvironment &environment);
  ~DataControlClipboard();
  DataControlClipboard(const DataControlClipboard &) = delete;
  DataControlClipboard &operator=(const DataControlClipboard &) = delete;

  // Makes `representations` (bytes by MIME type) the selection; false when
  // the compositor did not take it.
  bool publish(const QMap<QString, QByteArray> &representations);
  // False once the connection or the seat is gone.
  bool alive() const;

  // What a paste gets now: what we published while it is the selection,
  // otherwise the types and bytes of whoever holds it.
  QStringList types();
  QByteArray read(const QString &mimeType);

  struct Connection;

private:
  explicit DataControlClipboard(std::unique_ptr<Connection> connection);
  std::unique_ptr<Connection> connection_;
};

} // namespace crel
