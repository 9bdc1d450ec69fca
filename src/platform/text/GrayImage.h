#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace crel {

// A page as the recogniser reads it: one byte of luminance per pixel.
struct GrayImage {
  // Ink differs from its background by at least this much.
  static constexpr int kTextContrast = 48;

  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels; // rows of `width` bytes
  std::uint8_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }

  // Luminance of the image as if painted over a white page, converted row by
  // row so that even an 80-megapixel image is not copied in colour.
  static GrayImage from(const QImage &image);
  // Bilinear enlargement by a whole factor.
  static std::shared_ptr<const GrayImage> enlarged(std::shared_ptr<GrayImage> source, int scale);
};

} // namespace crel
