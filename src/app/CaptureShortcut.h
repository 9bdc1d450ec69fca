#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace crel {

class SettingsStore;

// The global capture shortcut as a value: the key's level-0 X keysym, the
// modifier mask and the key's text. The mask keeps its own bits, mapped to X
// like the other shortcuts of the application: command → Ctrl, shift → Shift,
// option → Alt, control → Super.
struct CaptureShortcut {
  static constexpr quint32 command = 0x100, shift = 0x200, option = 0x800, control = 0x1000;
  static constexpr quint32 allModifiers = command | shift | option | control;

  quint32 keyCode = 0x32; // the keysym of "2"
  quint32 modifiers = command | shift;
  QString character = QStringLiteral("2");

  friend bool operator==(const CaptureShortcut &, const CaptureShortcut &) = default;

  // Ctrl+Shift+2.
  static CaptureShortcut defaultShortcut() { return {}; }

  // "Ctrl+Alt+Shift+Super+" for the held modifiers, then the key: its
  // character upper-cased, or the key's name for keys that type nothing.
  QString label() const;
  // Same key and modifiers: the character alone follows the keyboard layout.
  bool sameCombination(const CaptureShortcut &other) const {
    return keyCode == other.keyCode && modifiers == other.modifiers;
  }
  // The rules a recorded shortcut must meet: Ctrl or Super held, no other
  // bits, and a key that names itself that is neither a modifier nor Return,
  // Tab, Backspace or Escape.
  bool isValid() const;

  // A shortcut from a pressed key's level-0 keysym and a mask of the bits
  // above (others are ignored); none when it breaks a rule of isValid().
  static std::optional<CaptureShortcut> from(quint32 keysym, quint32 modifiers);

  // X modifier bits (Shift 0x1, Control 0x4, Mod1 0x8, Mod4 0x40) and back.
  quint32 xModifiers() const;
  static quint32 fromXModifiers(quint32 xState);

  // Compact JSON with "keyCode", "modifiers" and "character".
  QByteArray toJson() const;
  // All three members required; anything missing, mistyped or failing the
  // rules gives none.
  static std::optional<CaptureShortcut> fromJson(const QByteArray &json);

  // The shortcut stored under "captureShortcut", or the default.
  static CaptureShortcut load(const SettingsStore &store);
  void save(SettingsStore &store) const;
};

} // namespace crel
