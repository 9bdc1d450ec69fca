#include "Keysym.h"

#include <xkbcommon/xkbcommon.h>

#include <Qt>

namespace crel::keysym {

QString text(quint32 keysym) {
  char utf8[16] = {};
  if (xkb_keysym_to_utf8(keysym, utf8, sizeof utf8) <= 0)
    return {};
  const QString result = QString::fromUtf8(utf8);
  for (const QChar c : result)
    if (!c.isPrint() || c.isSpace())
      return {};
  return result;
}

QString name(quint32 keysym) {
  // X's first names for these are the old "Prior" and "Next".
  if (keysym == 0xff55)
    return QStringLiteral("Page Up");
  if (keysym == 0xff56)
    return QStringLiteral("Page Down");
  char buffer[64] = {};
  if (keysym == 0 || xkb_keysym_get_name(keysym, buffer, sizeof buffer) <= 0)
    return {};
  QString result = QString::fromLatin1(buffer);
  // Unnamed keysyms come back as "0x…" or "U…"; neither reads as a key.
  if (result.startsWith(QLatin1String("0x")))
    return {};
  result.replace(QLatin1Char('_'), QLatin1Char(' '));
  result[0] = result[0].toUpper();
  return result;
}

bool isModifier(quint32 keysym) {
  // Shift_L … Hyper_R, the ISO level and group shifts, and Mode_switch.
  return (keysym >= 0xffe1 && keysym <= 0xffee) || (keysym >= 0xfe01 && keysym <= 0xfe13) || keysym == 0xff7e ||
         keysym == 0xff7f || keysym == 0xff14;
}

quint32 fromQtKey(int qtKey) {
  if (qtKey >= Qt::Key_Space && qtKey <= Qt::Key_ydiaeresis)
    return QChar(qtKey).toLower().unicode();
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F35)
    return 0xffbe + quint32(qtKey - Qt::Key_F1);
  switch (qtKey) {
  case Qt::Key_Escape: return kEscape;
  case Qt::Key_Tab: return kTab;
  case Qt::Key_Backtab: return kLeftTab;
  case Qt::Key_Backspace: return kBackSpace;
  case Qt::Key_Return: return kReturn;
  case Qt::Key_Enter: return kKeypadEnter;
  case Qt::Key_Insert: return 0xff63;
  case Qt::Key_Delete: return 0xffff;
  case Qt::Key_Pause: return 0xff13;
  case Qt::Key_Print: return 0xff61;
  case Qt::Key_Home: return 0xff50;
  case Qt::Key_Left: return 0xff51;
  case Qt::Key_Up: return 0xff52;
  case Qt::Key_Right: return 0xff53;
  case Qt::Key_Down: return 0xff54;
  case Qt::Key_PageUp: return 0xff55;
  case Qt::Key_PageDown: return 0xff56;
  case Qt::Key_End: return 0xff57;
  case Qt::Key_Shift: return 0xffe1;
  case Qt::Key_Control: return 0xffe3;
  case Qt::Key_Meta: return 0xffe7;
  case Qt::Key_Alt: return 0xffe9;
  case Qt::Key_Super_L: return 0xffeb;
  case Qt::Key_Super_R: return 0xffec;
  case Qt::Key_AltGr: return 0xfe03;
  case Qt::Key_CapsLock: return 0xffe5;
  case Qt::Key_NumLock: return 0xff7f;
  default: return 0;
  }
}

} // namespace crel::keysym
