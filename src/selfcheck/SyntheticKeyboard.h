#pragma once

#include <QtGlobal>

#include <initializer_list>

struct xcb_connection_t;
struct _XCBKeySymbols;

namespace crel::NativeTests {

// Key presses as a keyboard makes them, through the X test extension on a
// connection of its own to $DISPLAY, so the server delivers them to whoever
// grabbed the keys. Keys no grab takes go to a window of its own, never to
// the window of the user's session that has the keyboard.
class SyntheticKeyboard {
public:
  // Throws Failure when there is no display or no test extension.
  SyntheticKeyboard();
  ~SyntheticKeyboard();
  SyntheticKeyboard(const SyntheticKeyboard &) = delete;
  SyntheticKeyboard &operator=(const SyntheticKeyboard &) = delete;

  // Presses the keys of `keysyms` in order, releases them in reverse, and
  // waits until the server has handled all of it. Throws Failure for a
  // keysym no key carries.
  void chord(std::initializer_list<quint32> keysyms);

private:
  xcb_connection_t *connection_ = nullptr;
  _XCBKeySymbols *symbols_ = nullptr;
};

} // namespace crel::NativeTests
