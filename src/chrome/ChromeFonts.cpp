#include "ChromeFonts.h"

#include "platform/desktop/BundledFonts.h"

namespace crel::ChromeFonts {

QString family() {
  BundledFonts::ensureLoaded();
  return BundledFonts::formalFamily();
}

QFont font(double pixelSize, QFont::Weight weight) {
  QFont f(family());
  f.setPointSizeF(pixelSize * 72 / pinnedDpi);
  f.setWeight(weight);
  f.setHintingPreference(QFont::PreferVerticalHinting);
  return f;
}

QFont applicationFont() { return font(13); }

} // namespace crel::ChromeFonts
