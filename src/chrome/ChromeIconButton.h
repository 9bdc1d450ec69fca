#pragma once

#include "ChromeButton.h"
#include "ChromeHint.h"

namespace crel {

class HintController;

// The bars' icon button: a symbol (13.5, medium) in a 32 by 32 chrome button
// with a round fill (corner radius 16), carrying a hover hint whose title is
// also its accessible name.
class ChromeIconButton : public ChromeButton {
  Q_OBJECT
public:
  ChromeIconButton(const QString &symbol, const QString &hintId, const ChromeHint &hint, HintController *hints,
                   QWidget *parent = nullptr);

  QString symbol() const { return symbol_; }
  QSize sizeHint() const override { return {32, 32}; }

private:
  QString symbol_;
};

} // namespace crel
