#pragma once

#include "platform/files/RawValue.h"

#include <QStringList>

namespace crel {

enum class BlurEffect { blur, pixelate };

template <> struct RawValues<BlurEffect> {
  static constexpr std::array<std::pair<BlurEffect, std::string_view>, 2> table{{
      {BlurEffect::blur, "blur"},
      {BlurEffect::pixelate, "pixelate"},
  }};
};

QString label(BlurEffect effect);
// Strength names, weakest first ("Light", "Medium", "Strong", "Max").
QStringList blurStrengthLabels();

} // namespace crel
