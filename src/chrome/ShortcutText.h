#pragma once

#include <QString>

namespace crel {

// Turns a shortcut as the design writes it ("⇧⌘Z", "⌥←", "⌫") into what a
// Linux desktop shows ("Ctrl+Shift+Z", "Alt+←", "Del"): Command is Ctrl,
// Option Alt, Control Super, in the order Ctrl, Alt, Shift, Super. A text
// without modifier signs is returned as it is.
namespace ShortcutText {

QString forLinux(const QString &designText);

} // namespace ShortcutText

} // namespace crel
