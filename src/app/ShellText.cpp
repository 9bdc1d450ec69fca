#include "ShellText.h"

#include "chrome/ChromeColors.h"
#include "chrome/ChromeFonts.h"

#include <QFrame>
#include <QLabel>

namespace crel::ShellText {

QLabel *label(const QString &content, QWidget *parent, const Style &style) {
  auto *label = new QLabel(content, parent);
  QFont font = ChromeFonts::font(style.size, style.weight);
  if (style.monospaced) {
    font.setFamily(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
  }
  label->setFont(font);
  label->setWordWrap(style.wraps);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, style.secondary ? ChromeColors::secondaryLabel() : ChromeColors::label());
  label->setPalette(palette);
  return label;
}

QFrame *divider(QWidget *parent) {
  auto *line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFixedHeight(1);
  line->setStyleSheet(QStringLiteral("background: rgba(0,0,0,0.1); border: none;"));
  return line;
}

} // namespace crel::ShellText
