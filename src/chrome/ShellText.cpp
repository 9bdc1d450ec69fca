#include "ShellText.h"

#include "ChromeColors.h"
#include "ChromeFonts.h"
#include "Symbols.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>

#include <cmath>

namespace crel::ShellText {

namespace {

class SymbolLabel final : public QLabel {
public:
  SymbolLabel(const QString &name, double size, QWidget *parent) : QLabel(parent), name_(name), size_(size) {
    const int side = int(std::ceil(Symbols::boxSide(size)));
    setFixedSize(side, side);
  }

protected:
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    Symbols::paint(painter, name_, rect(), size_, QFont::Medium, palette().color(QPalette::WindowText));
  }

private:
  QString name_;
  double size_;
};

} // namespace

QLabel *symbol(const QString &name, double size, bool secondary, QWidget *parent) {
  auto *label = new SymbolLabel(name, size, parent);
  label->setObjectName(QStringLiteral("symbol-") + name);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, secondary ? ChromeColors::secondaryLabel() : ChromeColors::label());
  label->setPalette(palette);
  return label;
}

QFont font(const Style &style) {
  QFont font = ChromeFonts::font(style.size, style.weight);
  if (style.monospaced) {
    font.setFamily(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
  }
  return font;
}

QLabel *label(const QString &content, QWidget *parent, const Style &style) {
  auto *label = new QLabel(content, parent);
  label->setFont(font(style));
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
