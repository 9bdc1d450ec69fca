#include "SyntheticKeyboard.h"

#include "Failure.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <vector>

namespace crel::NativeTests {

SyntheticKeyboard::SyntheticKeyboard() {
  connection_ = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection_)) {
    xcb_disconnect(connection_);
    throw Failure(QStringLiteral("Synthetic key presses need an X display"));
  }
  const xcb_query_extension_reply_t *xtest = xcb_get_extension_data(connection_, &xcb_test_id);
  symbols_ = xcb_key_symbols_alloc(connection_);
  if (!xtest || !xtest->present || !symbols_) {
    if (symbols_)
      xcb_key_symbols_free(symbols_);
    xcb_disconnect(connection_);
    throw Failure(QStringLiteral("Synthetic key presses need the X test extension"));
  }
}

SyntheticKeyboard::~SyntheticKeyboard() {
  xcb_key_symbols_free(symbols_);
  xcb_disconnect(connection_);
}

void SyntheticKeyboard::chord(std::initializer_list<quint32> keysyms) {
  std::vector<xcb_keycode_t> keys;
  for (const quint32 keysym : keysyms) {
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols_, keysym);
    const xcb_keycode_t first = codes ? codes[0] : 0;
    std::free(codes);
    if (first == 0)
      throw Failure(QStringLiteral("No key of the display's keyboard carries the keysym 0x%1").arg(keysym, 0, 16));
    keys.push_back(first);
  }
  for (const xcb_keycode_t key : keys)
    xcb_test_fake_input(connection_, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  for (auto it = keys.rbegin(); it != keys.rend(); ++it)
    xcb_test_fake_input(connection_, XCB_KEY_RELEASE, *it, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

} // namespace crel::NativeTests
