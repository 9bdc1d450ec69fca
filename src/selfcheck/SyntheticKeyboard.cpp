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

namespace {

// For its lifetime the keyboard focus is on a 1x1 window of the run's own,
// off every screen and unmanaged, so that presses no grab takes reach no
// window of the user's; then it goes back where it was.
class OwnFocus {
public:
  explicit OwnFocus(xcb_connection_t *connection) : connection_(connection) {
    xcb_get_input_focus_reply_t *before =
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
    if (before) {
      previous_ = before->focus;
      previousRevert_ = before->revert_to;
      std::free(before);
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    window_ = xcb_generate_id(connection_);
    // Nor do its key events travel up to whoever listens on the root.
    const quint32 attributes[] = {1, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, -10, -10, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                      XCB_CW_OVERRIDE_REDIRECT | XCB_CW_DONT_PROPAGATE, attributes);
    // Unmanaged, so mapped at once: viewable by the time the focus moves.
    xcb_map_window(connection_, window_);
    xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window_, XCB_CURRENT_TIME);
    xcb_get_input_focus_reply_t *now =
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
    const bool focused = now && now->focus == window_;
    std::free(now);
    if (!focused) {
      restore();
      throw Failure(QStringLiteral("Synthetic key presses found no window of their own to go to"));
    }
  }
  ~OwnFocus() { restore(); }
  OwnFocus(const OwnFocus &) = delete;
  OwnFocus &operator=(const OwnFocus &) = delete;

private:
  void restore() {
    if (!window_)
      return;
    // A window that went meanwhile refuses the focus; the server then keeps
    // it where our window's going sends it.
    if (previous_ != XCB_NONE)
      std::free(xcb_request_check(
          connection_, xcb_set_input_focus_checked(connection_, previousRevert_, previous_, XCB_CURRENT_TIME)));
    xcb_destroy_window(connection_, window_);
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    window_ = 0;
  }

  xcb_connection_t *connection_;
  xcb_window_t window_ = 0;
  xcb_window_t previous_ = XCB_NONE;
  quint8 previousRevert_ = XCB_INPUT_FOCUS_POINTER_ROOT;
};

} // namespace

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
  const OwnFocus focus(connection_);
  for (const xcb_keycode_t key : keys)
    xcb_test_fake_input(connection_, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  for (auto it = keys.rbegin(); it != keys.rend(); ++it)
    xcb_test_fake_input(connection_, XCB_KEY_RELEASE, *it, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

} // namespace crel::NativeTests
