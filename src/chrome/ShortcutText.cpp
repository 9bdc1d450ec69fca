#include "ShortcutText.h"

#include <QStringList>

namespace crel::ShortcutText {

QString forLinux(const QString &designText) {
  bool command = false, option = false, shift = false, control = false;
  QString key;
  for (const QChar c : designText) {
    switch (c.unicode()) {
    case 0x2318: command = true; break; // ⌘
    case 0x2325: option = true; break;  // ⌥
    case 0x21E7: shift = true; break;   // ⇧
    case 0x2303: control = true; break; // ⌃
    default: key += c;
    }
  }
  if (key == QStringLiteral("\u232B")) // ⌫, the delete-backward key
    key = QStringLiteral("Del");
  else if (key == QStringLiteral("\u21A9")) // ↩
    key = QStringLiteral("Return");
  else if (key == QStringLiteral("\u238B")) // ⎋
    key = QStringLiteral("Esc");
  QStringList parts;
  if (command)
    parts << QStringLiteral("Ctrl");
  if (option)
    parts << QStringLiteral("Alt");
  if (shift)
    parts << QStringLiteral("Shift");
  if (control)
    parts << QStringLiteral("Super");
  parts << key;
  return parts.join('+');
}

} // namespace crel::ShortcutText
