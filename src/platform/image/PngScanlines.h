#pragma once

#include <QRgb>

#include <cstddef>
#include <cstdint>

namespace crel {

// The per-row work of PNG encoding: pixel packing, filtering and the zlib
// checksum, with AVX2 versions picked at run time. Both versions give the
// same bytes.
class PngScanlines {
public:
  // Readable zero bytes a packed row needs before its first byte (the filters
  // look one pixel to the left) and writable slack after its last.
  static constexpr std::size_t rowMargin = 32;

  // Packs 0xAARRGGBB pixels as R, G, B; false as soon as one is not opaque
  // (unless ignoreAlpha, for formats whose alpha byte is padding).
  static bool packRgb(const QRgb *in, int width, bool ignoreAlpha, std::uint8_t *out);
  // Packs as straight R, G, B, A, un-premultiplying with Qt's rounding when asked.
  static void packRgba(const QRgb *in, int width, bool premultiplied, std::uint8_t *out);

  // Filters the packed row cur (with prev above it, zeros above the first
  // row) of n bytes at bpp bytes per pixel into out[0] = filter type and
  // out[1..n] = residuals, choosing Sub, Up or Paeth by the smallest sum of
  // residuals read as signed bytes. scratch holds 2 * n + rowMargin bytes.
  static void filter(const std::uint8_t *prev, const std::uint8_t *cur, std::size_t n, int bpp, std::uint8_t *out,
                     std::uint8_t *scratch);

  static std::uint32_t adler32(std::uint32_t adler, const std::uint8_t *data, std::size_t n);

  // Tests compare the two versions; false forces the portable one.
  static void setVectorUnitsEnabled(bool enabled);
  static bool vectorUnitsAvailable();
};

} // namespace crel
