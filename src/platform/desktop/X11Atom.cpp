#include "X11Atom.h"

#include <cstdlib>

namespace crel {

xcb_atom_t internX11Atom(xcb_connection_t *connection, QByteArrayView name, bool onlyIfExists) {
  xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, onlyIfExists, uint16_t(name.size()), name.data()), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  std::free(reply);
  return atom;
}

} // namespace crel
