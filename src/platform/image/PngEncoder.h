#pragma once

#include <QByteArray>
#include <QImage>

#include <cstddef>

namespace crel {

// A PNG writer fast enough to run after every edit of a large screenshot.
//
// Output: 8-bit sRGB, colour type 2 (RGB) when every pixel is opaque, else 6
// (RGBA, un-premultiplied); no ancillary chunks. Rows are split into pieces of
// about pieceBytes that are filtered and deflated in parallel into one zlib
// stream, one IDAT chunk per piece. The bytes depend only on the pixels, never
// on the thread count or timing.
class PngEncoder {
public:
  // Encodes with up to `threads` threads (0 = one per core). Empty for a null image.
  // Throws std::bad_alloc when memory runs out.
  static QByteArray encode(const QImage &image, int threads = 0);

  // Filtered bytes (rows with their filter byte) per parallel piece; a piece
  // holds whole rows, at least one.
  static constexpr std::size_t pieceBytes = 256 * 1024;
};

} // namespace crel
