// The self-test's key presses on a real X server (CTest runs this under
// scripts/with-xvfb): the window that had the keyboard, as the user's editor
// or terminal would, hears none of them and has the keyboard again after.
#include "selfcheck/SyntheticKeyboard.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using crel::NativeTests::SyntheticKeyboard;

constexpr quint32 controlKey = 0xffe3, altKey = 0xffe9, superKey = 0xffeb, nine = 0x39;

// A managed top-level window of another client that has the keyboard focus.
class UsersWindow {
public:
  UsersWindow() : connection_(xcb_connect(nullptr, nullptr)) {
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    window_ = xcb_generate_id(connection_);
    const quint32 events = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 100, 100, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &events);
    xcb_map_window(connection_, window_);
    xcb_flush(connection_);
  }
  ~UsersWindow() { xcb_disconnect(connection_); }

  bool connected() const { return xcb_connection_has_error(connection_) == 0; }

  // Maps through the window manager, so focusing may take a few tries.
  bool focus() {
    for (int attempt = 0; attempt < 100; ++attempt) {
      xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_PARENT, window_, XCB_CURRENT_TIME);
      if (hasFocus())
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  bool hasFocus() {
    xcb_get_input_focus_reply_t *reply =
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
    const bool focused = reply && reply->focus == window_;
    std::free(reply);
    return focused;
  }

  // The key events that reached the window so far.
  int keyEvents() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    int count = 0;
    while (xcb_generic_event_t *event = xcb_poll_for_event(connection_)) {
      const int type = event->response_type & 0x7f;
      count += type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE;
      std::free(event);
    }
    return count;
  }

private:
  xcb_connection_t *connection_;
  xcb_window_t window_ = 0;
};

TEST(SyntheticKeyboard, TheChordReachesNoWindowOfTheUserAndTheKeyboardComesBack) {
  UsersWindow users;
  ASSERT_TRUE(users.connected()) << "needs an X display";
  ASSERT_TRUE(users.focus());
  ASSERT_EQ(users.keyEvents(), 0);

  SyntheticKeyboard keyboard;
  keyboard.chord({controlKey, altKey, superKey, nine});
  EXPECT_EQ(users.keyEvents(), 0);
  EXPECT_TRUE(users.hasFocus());
}

} // namespace
