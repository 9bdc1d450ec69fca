#include "ChromeIconButton.h"

#include "HintController.h"
#include "Symbols.h"

namespace crel {

ChromeIconButton::ChromeIconButton(const QString &symbol, const QString &hintId, const ChromeHint &hint,
                                   HintController *hints, QWidget *parent)
    : ChromeButton(parent), symbol_(symbol) {
  setFixedSize(32, 32);
  setCornerRadius(16);
  setAccessibleName(hint.title);
  setContentPainter([symbol](QPainter &painter, const QRectF &rect, const QColor &color) {
    Symbols::paint(painter, symbol, rect, 13.5, QFont::Medium, color);
  });
  if (hints)
    hints->attach(this, hintId, hint);
}

} // namespace crel
