#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace crel {

class SettingsStore;

// The global capture shortcut as a value: the key's level-0 X keysym, the
// modifier mask, the key's text and the physical key. The mask keeps its own
// bits, mapped to X like the other shortcuts of the application: command →
// Ctrl, shift → Shift, option → Alt, control → Super. With a `key` (the
// keyboard's XKB name of the key, "AE02") the shortcut is that key on every
// layout, and keysym and text say what it typed when they were last read;
// without one (shortcuts stored before keys were named) it is whichever key
// types the keysym.
struct CaptureShortcut {
  static constexpr quint32 command = 0x100, shift = 0x200, option = 0x800, control = 0x1000;
  static constexpr quint32 allModifiers = command | shift | option | control;

  quint32 keyCode = 0x32; // the keysym of "2"
  quint32 modifiers = command | shift;
  QString character = QStringLiteral("2");
  QString key;

  friend bool operator==(const CaptureShortcut &, const CaptureShortcut &) = default;

  // Ctrl+Shift and the key that types 2 on a US layout.
  static CaptureShortcut defaultShortcut() {
    return {0x32, command | shift, QStringLiteral("2"), QStringLiteral("AE02")};
  }

  // "Ctrl+Alt+Shift+Super+" for the held modifiers, then the key: its
  // character upper-cased, or the key's name for keys that type nothing.
  QString label() const;
  // Same key and modifiers: keysym and character follow the keyboard layout.
  bool sameCombination(const CaptureShortcut &other) const {
    return key == other.key && (!key.isEmpty() || keyCode == other.keyCode) && modifiers == other.modifiers;
  }
  // The same shortcut as the key now types `keysym`; itself when it names no
  // key or the key types nothing that can be shown.
  CaptureShortcut typing(quint32 keysym) const;
  // The rules a recorded shortcut must meet: Ctrl or Super held, no other
  // bits, and a key that names itself that is neither a modifier nor Return,
  // Tab, Backspace or Escape.
  bool isValid() const;

  // A shortcut from a pressed key's level-0 keysym, a mask of the bits above
  // (others are ignored) and the key's name; none when it breaks a rule of
  // isValid().
  static std::optional<CaptureShortcut> from(quint32 keysym, quint32 modifiers, const QString &key = {});

  // X modifier bits (Shift 0x1, Control 0x4, Mod1 0x8, Mod4 0x40) and back.
  quint32 xModifiers() const;
  static quint32 fromXModifiers(quint32 xState);

  // Compact JSON with "keyCode", "modifiers", "character" and, for a named
  // key, "key".
  QByteArray toJson() const;
  // The first three members required, "key" read when present; anything
  // missing, mistyped or failing the rules gives none.
  static std::optional<CaptureShortcut> fromJson(const QByteArray &json);

  // The shortcut stored under "captureShortcut", or the default.
  static CaptureShortcut load(const SettingsStore &store);
  void save(SettingsStore &store) const;
};

} // namespace crel
