// Holds a global key grab the way another application would, for tests of
// shortcut conflicts: grabs the keysym with the X modifier mask on every key
// that carries it (with and without Caps Lock and Num Lock), prints "ready",
// and keeps the grab until its standard input closes.
//
//   crel-hold-shortcut KEYSYM MODIFIERS     (numbers, e.g. 0x32 0x5)
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv) {
  if (argc != 3 || argv[1][0] == '-' || argv[2][0] == '-') {
    std::fprintf(stderr, "usage: %s KEYSYM MODIFIERS\n", argv[0]);
    return 2;
  }
  const auto keysym = xcb_keysym_t(std::strtoul(argv[1], nullptr, 0));
  const auto modifiers = uint16_t(std::strtoul(argv[2], nullptr, 0));
  xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    std::fprintf(stderr, "cannot open the display\n");
    return 1;
  }
  const xcb_setup_t *setup = xcb_get_setup(connection);
  const xcb_window_t root = xcb_setup_roots_iterator(setup).data->root;
  const uint8_t count = uint8_t(setup->max_keycode - setup->min_keycode + 1);
  xcb_get_keyboard_mapping_reply_t *mapping = xcb_get_keyboard_mapping_reply(
      connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, count), nullptr);
  if (!mapping)
    return 1;
  const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(mapping);
  std::vector<xcb_void_cookie_t> cookies;
  for (int key = 0; key < count; ++key) {
    if (syms[key * mapping->keysyms_per_keycode] != keysym)
      continue;
    for (int lock : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2), XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2})
      cookies.push_back(xcb_grab_key_checked(connection, 1, root, uint16_t(modifiers | lock),
                                             xcb_keycode_t(setup->min_keycode + key), XCB_GRAB_MODE_ASYNC,
                                             XCB_GRAB_MODE_ASYNC));
  }
  std::free(mapping);
  bool refused = cookies.empty();
  for (xcb_void_cookie_t cookie : cookies)
    if (xcb_generic_error_t *error = xcb_request_check(connection, cookie)) {
      refused = true;
      std::free(error);
    }
  if (refused) {
    std::printf("refused\n");
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  char buffer[64];
  while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
  }
  // Let go before exiting, so the test's next grab never races our exit.
  xcb_ungrab_key(connection, XCB_GRAB_ANY, root, XCB_MOD_MASK_ANY);
  std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  xcb_disconnect(connection);
  return 0;
}
