#pragma once

#include <QByteArrayView>

#include <xcb/xcb.h>

namespace crel {

// The atom named `name` on `connection`, waiting for the server's answer.
// XCB_ATOM_NONE when none came, or, with `onlyIfExists`, when nobody ever
// named it.
xcb_atom_t internX11Atom(xcb_connection_t *connection, QByteArrayView name, bool onlyIfExists = false);

} // namespace crel
