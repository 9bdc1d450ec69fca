#pragma once

#include <QFont>
#include <QString>

class QFrame;
class QLabel;
class QWidget;

namespace crel {

// The texts and rules of the light reference windows (welcome and
// settings, the keyboard shortcuts guide).
namespace ShellText {

struct Style {
  double size = 13;
  QFont::Weight weight = QFont::Normal;
  bool secondary = false;
  bool monospaced = false;
  bool wraps = true;
};
// The font a label of `style` is set in.
QFont font(const Style &style);
QLabel *label(const QString &content, QWidget *parent, const Style &style);
// A symbol (Symbols) of `size` in a label of its own, drawn in the label's
// text colour, so it follows the palette like the texts beside it.
QLabel *symbol(const QString &name, double size, bool secondary, QWidget *parent);
// A full-width horizontal rule, black at 0.1.
QFrame *divider(QWidget *parent);

} // namespace ShellText

} // namespace crel
