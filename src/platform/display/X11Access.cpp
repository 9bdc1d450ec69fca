#include "X11Access.h"

#include "SnapshotProvider.h"
#include "X11RootGrabber.h"
#include "platform/desktop/X11Atom.h"

#include <QProcessEnvironment>
#include <QRect>

#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace crel::X11Access {

namespace {

struct Connection {
  explicit Connection(const QByteArray &name) : c(xcb_connect(name.isEmpty() ? nullptr : name.constData(), &screen)) {}
  ~Connection() { xcb_disconnect(c); }
  bool ok() const { return c && !xcb_connection_has_error(c); }
  int screen = 0;
  xcb_connection_t *c;
};

bool hasDisplay(const QByteArray &name) { return !name.isEmpty() || !qEnvironmentVariableIsEmpty("DISPLAY"); }

// Asks the server of $DISPLAY over a connection of its own; false without one.
template <class Question> bool askServer(Question question) {
  if (!hasDisplay({}))
    return false;
  const Connection connection({});
  return connection.ok() && question(connection);
}

} // namespace

bool displayReachable(const QByteArray &displayName) { return hasDisplay(displayName) && Connection(displayName).ok(); }

bool screenReadable() {
  if (!hasDisplay({}) || SnapshotProvider::sessionRefusal(QProcessEnvironment::systemEnvironment()))
    return false;
  try {
    X11RootGrabber grabber;
    grabber.grab(QRect(0, 0, 1, 1));
    return true;
  } catch (...) {
    return false;
  }
}

bool syntheticInputAvailable() {
  return askServer([](const Connection &connection) {
    const char *name = "XTEST";
    xcb_query_extension_reply_t *reply =
        xcb_query_extension_reply(connection.c, xcb_query_extension(connection.c, std::strlen(name), name), nullptr);
    const bool present = reply && reply->present;
    std::free(reply);
    return present;
  });
}

bool compositingManagerRunning() {
  return askServer([](const Connection &connection) {
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(connection.screen);
    const xcb_atom_t selection = internX11Atom(connection.c, name, true);
    if (selection == XCB_ATOM_NONE) // nobody ever named it, so nobody owns it
      return false;
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(connection.c, xcb_get_selection_owner(connection.c, selection), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    std::free(owner);
    return owned;
  });
}

} // namespace crel::X11Access
