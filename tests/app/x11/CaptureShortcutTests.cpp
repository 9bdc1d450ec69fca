#include "app/CaptureShortcut.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>

using namespace crel;

namespace {

constexpr quint32 kCtrl = CaptureShortcut::command, kShift = CaptureShortcut::shift, kAlt = CaptureShortcut::option,
                  kSuper = CaptureShortcut::control;

} // namespace

TEST(CaptureShortcut, LabelsNameModifiersInOrderAndKeysThatTypeNothing) {
  const struct {
    CaptureShortcut shortcut;
    const char *label;
  } cases[] = {
      {CaptureShortcut::defaultShortcut(), "Ctrl+Shift+2"},
      {{0x61, kCtrl | kShift | kAlt | kSuper, "a"}, "Ctrl+Alt+Shift+Super+A"},
      {{0xe9, kSuper, "é"}, "Super+É"},
      // Function and navigation keys name the key, whatever character was kept.
      {{0xffc2, kCtrl, "F5"}, "Ctrl+F5"},
      {{0xff50, kCtrl | kShift, QString(QChar(0xf729))}, "Ctrl+Shift+Home"},
      {{0xff55, kSuper, ""}, "Super+Page Up"},
      {{0x20, kCtrl, " "}, "Ctrl+Space"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(c.shortcut.label(), QString::fromUtf8(c.label)) << c.label;
}

TEST(CaptureShortcut, FromAcceptsOnlyCtrlOrSuperWithAKeyThatNamesItself) {
  const struct {
    quint32 keysym;
    quint32 modifiers;
    std::optional<CaptureShortcut> expected;
  } cases[] = {
      {0x61, kCtrl, CaptureShortcut{0x61, kCtrl, "a"}},
      {0x61, kSuper | kShift, CaptureShortcut{0x61, kSuper | kShift, "a"}},
      {0x32, kCtrl | kShift | 0x10000, CaptureShortcut{0x32, kCtrl | kShift, "2"}}, // other bits dropped
      {0xffc2, kCtrl, CaptureShortcut{0xffc2, kCtrl, "F5"}},
      {0x61, kShift, std::nullopt},
      {0x61, kAlt, std::nullopt},
      {0x61, 0, std::nullopt},
      {0xff0d, kCtrl, std::nullopt},          // Return
      {0xff8d, kCtrl, std::nullopt},          // keypad Enter
      {0xff09, kCtrl, std::nullopt},          // Tab
      {0xfe20, kCtrl | kShift, std::nullopt}, // Shift+Tab
      {0xff08, kCtrl, std::nullopt},          // BackSpace
      {0xff1b, kCtrl, std::nullopt},          // Escape
      {0xffe1, kCtrl, std::nullopt},          // Shift_L as the key
      {0, kCtrl, std::nullopt},
      {0x1fffffff, kCtrl, std::nullopt}, // no such keysym
  };
  for (const auto &c : cases)
    EXPECT_EQ(CaptureShortcut::from(c.keysym, c.modifiers), c.expected) << std::hex << c.keysym << " " << c.modifiers;
}

// Shortcuts stored before keys were named load as they were; one that breaks
// a rule loads as the default.
TEST(CaptureShortcut, StoredShortcutsLoadAndThoseThatBreakTheRulesLoadAsTheDefault) {
  const CaptureShortcut fallback = CaptureShortcut::defaultShortcut();
  const struct {
    const char *stored;
    CaptureShortcut expected;
  } cases[] = {
      {R"({"keyCode":53,"modifiers":2304,"character":"5"})", {0x35, kCtrl | kAlt, "5"}},
      {R"({"character":"5","modifiers":4096,"keyCode":53,"extra":1})", {0x35, kSuper, "5"}},
      {R"({"keyCode":53,"modifiers":2304,"character":""})", {0x35, kCtrl | kAlt, "5"}},
      {R"({"keyCode":50,"modifiers":768,"character":"2"})", {0x32, kCtrl | kShift, "2"}},
      {R"({"keyCode":233,"modifiers":768,"character":"é","key":"AE02"})", {0xe9, kCtrl | kShift, "é", "AE02"}},
      {R"({"keyCode":53,"modifiers":2304,"character":"5","key":null})", {0x35, kCtrl | kAlt, "5"}},
      {R"({"keyCode":53,"modifiers":2304,"character":"5","key":"AE05 "})", fallback},
      {R"({"keyCode":53,"modifiers":2304,"character":"5","key":7})", fallback},
      {R"({"keyCode":53,"modifiers":0,"character":"5"})", fallback},       // a bare key, grabbed globally
      {R"({"keyCode":53,"modifiers":512,"character":"5"})", fallback},     // Shift alone
      {R"({"keyCode":53,"modifiers":769,"character":"5"})", fallback},     // unknown bit
      {R"({"keyCode":65293,"modifiers":256,"character":"\r"})", fallback}, // Return
      {R"({"keyCode":53,"modifiers":4294967552,"character":"5"})", fallback},
      {R"({"keyCode":53,"modifiers":256})", fallback},
      {R"({"keyCode":"53","modifiers":256,"character":"5"})", fallback},
      {R"({"keyCode":53.5,"modifiers":256,"character":"5"})", fallback},
      {R"([53,256,"5"])", fallback},
      {"not json", fallback},
  };
  for (const auto &c : cases) {
    crel::test::TemporarySettings settings;
    settings.store().setString(QStringLiteral("captureShortcut"), QString::fromUtf8(c.stored));
    EXPECT_EQ(CaptureShortcut::load(settings.store()), c.expected) << c.stored;
  }
  crel::test::TemporarySettings empty;
  EXPECT_EQ(CaptureShortcut::load(empty.store()), CaptureShortcut::defaultShortcut());
}
