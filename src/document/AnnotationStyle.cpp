#include "AnnotationStyle.h"

#include "platform/base/Translate.h"
#include "platform/desktop/BundledFonts.h"

#include <cmath>

namespace crel {

QString label(AnnotationStyle style) { return style == AnnotationStyle::doodle ? tr("Doodle") : tr("Formal"); }

QString description(AnnotationStyle style) {
  return style == AnnotationStyle::doodle ? tr("Smooth ink curves and handwritten labels")
                                          : tr("Crisp arrows, geometric shapes and clean labels");
}

QFont font(AnnotationStyle style, double size) {
  const bool doodle = style == AnnotationStyle::doodle;
  const QString family = doodle ? BundledFonts::doodleFamily() : BundledFonts::formalFamily();
  const bool fellBack = doodle && family == BundledFonts::formalFamily();
  QFont f(family);
  // Stored sizes are not validated; QFont rejects non-positive sizes loudly.
  f.setPointSizeF(std::isfinite(size) && size > 0 ? size : 1.0);
  f.setWeight(doodle && !fellBack ? QFont::Bold : QFont::Medium);
  f.setHintingPreference(QFont::PreferNoHinting);
  f.setStyleStrategy(QFont::PreferAntialias);
  f.setKerning(true);
  return f;
}

} // namespace crel
