#include "ShortcutTestKit.h"
#include "app/CaptureShortcut.h"

#include <QProcess>
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
  void type(const std::vector<quint8> &chord) {
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

// The X server's layout for the life of the object (back to "us" after).
class Layout {
public:
  explicit Layout(const char *name) { set(name); }
  ~Layout() { set("us"); }
  static void set(const char *name) {
    QProcess process;
    process.start(QStringLiteral("setxkbmap"), {QString::fromLatin1(name)});
    ASSERT_TRUE(process.waitForFinished(10000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
  }
};

constexpr quint32 kCtrl = CaptureShortcut::command, kShift = CaptureShortcut::shift, kAlt = CaptureShortcut::option;

} // namespace

// The shortcut is a key on the keyboard, not a character: the default is the
// key that types 2 on a US layout, and a recorded one stays on the key that
// was pressed, on every layout and across a switch while it is held.
TEST(ShortcutManager, TheShortcutKeyWorksOnEveryLayoutAndFollowsASwitch) {
  const struct {
    const char *recordedOn;
    CaptureShortcut shortcut;
    const char *switchedTo;
    const char *labelBefore;
    const char *labelAfter;
  } rows[] = {
      {"fr", CaptureShortcut::defaultShortcut(), "us", "Ctrl+Shift+É", "Ctrl+Shift+2"},
      {"de", CaptureShortcut::defaultShortcut(), "fr", "Ctrl+Shift+2", "Ctrl+Shift+É"},
      {"us", CaptureShortcut::defaultShortcut(), "de", "Ctrl+Shift+2", "Ctrl+Shift+2"},
      // Ctrl+Alt and the key that types A on a US layout, which types Q on a French one.
      {"us", *CaptureShortcut::from(0x61, kCtrl | kAlt, QStringLiteral("AC01")), "fr", "Ctrl+Alt+A", "Ctrl+Alt+Q"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(std::string(row.recordedOn) + " then " + row.switchedTo + ": " + row.labelBefore);
    Layout layout(row.recordedOn);
    ShortcutRig rig;
    ASSERT_NO_THROW(rig.manager().registerShortcut(row.shortcut));
    EXPECT_EQ(rig.manager().current().label(), QString::fromUtf8(row.labelBefore));
    const auto press = [&] {
      Keyboard keyboard;
      const auto key = quint8(rig.backend().keycodeOf(row.shortcut.key.toLatin1()));
      ASSERT_NE(key, 0);
      std::vector<quint8> chord{keyboard.keycodeOf(0xffe3)};
      if (row.shortcut.modifiers & kShift)
        chord.push_back(keyboard.keycodeOf(0xffe1));
      if (row.shortcut.modifiers & kAlt)
        chord.push_back(keyboard.keycodeOf(0xffe9));
      chord.push_back(key);
      keyboard.type(chord);
    };
    press();
    EXPECT_TRUE(rig.waitForCaptures(1));
    EXPECT_EQ(rig.captures(), 1);

    Layout::set(row.switchedTo);
    EXPECT_TRUE(QTest::qWaitFor([&] {
      rig.settle();
      return rig.manager().current().label() == QString::fromUtf8(row.labelAfter);
    })) << rig.manager().current().label().toStdString();
    EXPECT_TRUE(rig.manager().isRegistered());
    press();
    EXPECT_TRUE(rig.waitForCaptures(2));
    EXPECT_EQ(rig.captures(), 2);
  }
}

TEST(ShortcutManager, FollowsTheShortcutKeyOntoKeysAddedAndBackToKeysRemovedByAMappingChange) {
  Keyboard keyboard;
  const quint8 spare = keyboard.keycodeOf(0), control = keyboard.keycodeOf(0xffe3), alt = keyboard.keycodeOf(0xffe9),
               five = keyboard.keycodeOf(0x35);
  ASSERT_NE(spare, 0);
  ASSERT_NE(five, 0);
  // Stored before keys were named: whichever key types 5.
  ShortcutRig rig;
  rig.manager().registerShortcut({0x35, kCtrl | kAlt, QStringLiteral("5"), {}});

  keyboard.type({control, alt, spare});
  rig.settle();
  EXPECT_EQ(rig.captures(), 0);

  // A second key now types "5": after the change arrives it fires too.
  keyboard.map(spare, 0x35);
  EXPECT_TRUE(QTest::qWaitFor([&] {
    keyboard.type({control, alt, spare});
    rig.settle();
    return rig.captures() > 0;
  }));
  EXPECT_TRUE(rig.manager().isRegistered());

  // Neither key types "5" any more: the shortcut is kept, not working...
  keyboard.map(spare, 0);
  keyboard.map(five, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] {
    rig.settle();
    return !rig.manager().isRegistered();
  }));
  EXPECT_EQ(rig.manager().problem(), ShortcutManager::Problem::notOnKeyboard);
  EXPECT_EQ(rig.manager().statusLabel(), QStringLiteral("Ctrl+Alt+5 — not on this keyboard"));
  // ...and works again once a key types "5" again.
  keyboard.map(five, 0x35);
  EXPECT_TRUE(QTest::qWaitFor([&] {
    rig.settle();
    return rig.manager().isRegistered();
  }));
  const int before = rig.captures();
  keyboard.type({control, alt, five});
  EXPECT_TRUE(rig.waitForCaptures(before + 1));
  Layout::set("us");
}
