#include "BlurEffect.h"

#include "platform/base/Translate.h"

namespace crel {

QString label(BlurEffect effect) { return effect == BlurEffect::pixelate ? tr("Pixelate") : tr("Blur"); }

QStringList blurStrengthLabels() { return {tr("Light"), tr("Medium"), tr("Strong"), tr("Max")}; }

} // namespace crel
