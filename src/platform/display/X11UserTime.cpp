#include "X11UserTime.h"

#include "platform/desktop/X11Atom.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

namespace crel {

namespace {

// Rides on the window, so it and its filter go with it.
class TimeProbe final : public QObject, public QAbstractNativeEventFilter {
public:
  TimeProbe(QWindow &window, xcb_atom_t atom, std::function<void()> then)
      : QObject(&window), window_(xcb_window_t(window.winId())), atom_(atom), then_(std::move(then)) {
    qApp->installNativeEventFilter(this);
  }

  bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override {
    if (!then_ || type != "xcb_generic_event_t")
      return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
      return false;
    const auto *notify = static_cast<const xcb_property_notify_event_t *>(message);
    if (notify->window != window_ || notify->atom != atom_)
      return false;
    // Queued: Qt takes the event's time only after the filters passed it on.
    QMetaObject::invokeMethod(
        this,
        [this, then = std::move(then_)] {
          deleteLater();
          then();
        },
        Qt::QueuedConnection);
    then_ = nullptr;
    return false;
  }

private:
  xcb_window_t window_;
  xcb_atom_t atom_;
  std::function<void()> then_;
};

} // namespace

void withFreshX11UserTime(QWindow &window, std::function<void()> then) {
  const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
  if (!connection || xcb_connection_has_error(connection)) {
    then();
    return;
  }
  const xcb_atom_t atom = internX11Atom(connection, "_CREL_USER_TIME");
  if (atom == XCB_ATOM_NONE) {
    then();
    return;
  }
  new TimeProbe(window, atom, std::move(then));
  // Appending nothing changes nothing, yet the server reports it with its time.
  xcb_change_property(connection, XCB_PROP_MODE_APPEND, xcb_window_t(window.winId()), atom, XCB_ATOM_STRING, 8, 0,
                      nullptr);
  xcb_flush(connection);
}

} // namespace crel
