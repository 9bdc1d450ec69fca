#include "ShortcutTestKit.h"
#include "app/CaptureShortcut.h"

#include <QTest>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using namespace crel;
using namespace crel::test;

namespace {

// The test's own client: reads and changes the keyboard mapping and types
// raw key codes through XTest.
class Keyboard {
public:
  Keyboard() : connection_(xcb_connect(nullptr, nullptr)) {
    const xcb_setup_t *setup = xcb_get_setup(connection_);
    root_ = xcb_setup_roots_iterator(setup).data->root;
    min_ = setup->min_keycode;
    const auto count = quint8(setup->max_keycode - setup->min_keycode + 1);
    auto *mapping =
        xcb_get_keyboard_mapping_reply(connection_, xcb_get_keyboard_mapping(connection_, min_, count), nullptr);
    perKey_ = mapping->keysyms_per_keycode;
    const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(mapping);
    syms_.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(mapping));
    std::free(mapping);
  }
  ~Keyboard() { xcb_disconnect(connection_); }

  // The first key code with `keysym` at level 0 (0 for an unused key).
  quint8 keycodeOf(quint32 keysym) const {
    for (size_t i = 0; i < syms_.size(); i += perKey_) {
      bool unused = true;
      for (size_t level = 0; level < perKey_; ++level)
        unused &= syms_[i + level] == 0;
      if (keysym ? syms_[i] == keysym : unused)
        return quint8(min_ + i / perKey_);
    }
    return 0;
  }
  void map(quint8 keycode, quint32 keysym) {
    std::vector<xcb_keysym_t> syms(perKey_, 0);
    syms[0] = keysym;
    xcb_change_keyboard_mapping(connection_, 1, keycode, perKey_, syms.data());
    xcb_flush(connection_);
  }
  void type(std::initializer_list<quint8> chord) {
    for (quint8 key : chord)
      xcb_test_fake_input(connection_, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, root_, 0, 0, 0);
    for (auto key = std::rbegin(chord); key != std::rend(chord); ++key)
      xcb_test_fake_input(connection_, XCB_KEY_RELEASE, *key, XCB_CURRENT_TIME, root_, 0, 0, 0);
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

private:
  xcb_connection_t *connection_;
  xcb_window_t root_ = 0;
  quint8 min_ = 0;
  quint8 perKey_ = 0;
  std::vector<xcb_keysym_t> syms_;
};

} // namespace

TEST(ShortcutManager, FollowsTheShortcutKeyOntoKeysAddedByAMappingChange) {
  Keyboard keyboard;
  const quint8 spare = keyboard.keycodeOf(0), control = keyboard.keycodeOf(0xffe3), shift = keyboard.keycodeOf(0xffe1);
  ASSERT_NE(spare, 0);
  ShortcutRig rig(ShortcutRig::registered);

  keyboard.type({control, shift, spare});
  rig.settle();
  EXPECT_EQ(rig.captures(), 0);

  // A second key now types "2": after the change arrives it fires too.
  keyboard.map(spare, 0x32);
  EXPECT_TRUE(QTest::qWaitFor([&] {
    keyboard.type({control, shift, spare});
    rig.settle();
    return rig.captures() > 0;
  }));
  EXPECT_TRUE(rig.manager().isRegistered());
  keyboard.map(spare, 0);
}
