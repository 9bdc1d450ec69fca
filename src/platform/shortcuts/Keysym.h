#pragma once

#include <QString>

namespace crel::keysym {

// X keysyms the shortcut code names; values from the X protocol.
inline constexpr quint32 kReturn = 0xff0d, kKeypadEnter = 0xff8d, kTab = 0xff09, kLeftTab = 0xfe20, kBackSpace = 0xff08,
                         kEscape = 0xff1b;

// The text a keysym types (UTF-8 decoded); empty for keys that type nothing
// printable (function, navigation and modifier keys, space).
QString text(quint32 keysym);
// A readable name for a key that types nothing: "F5", "Home", "Page Up",
// "Space". Empty for keysyms X does not know.
QString name(quint32 keysym);
// Shift, Control, Alt, Super, Meta, Hyper, the lock keys and level shifts.
bool isModifier(quint32 keysym);
// The level-0 keysym for a Qt key code, for key events that carry no
// hardware code (synthesised ones); 0 when there is none.
quint32 fromQtKey(int qtKey);

} // namespace crel::keysym
