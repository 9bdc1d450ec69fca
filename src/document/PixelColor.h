#pragma once

#include <QString>

#include <cstdint>

namespace crel {

// One sampled canvas pixel in 8-bit sRGB, not premultiplied.
struct PixelColor {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  std::uint8_t alpha = 0;

  friend bool operator==(const PixelColor &, const PixelColor &) = default;

  // "#RRGGBB", with "AA" appended unless opaque.
  QString hex() const;
};

} // namespace crel
