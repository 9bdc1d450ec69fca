#pragma once

#include <cstddef>
#include <cstdint>

namespace crel {

// What a HEIF file declares about the pixel buffers a decoder will make for
// it, read from its boxes alone: every image's spatial extent (the primary
// image, tiles, thumbnails, alpha planes) and every grid's and overlay's
// output canvas. Free of Qt and libheif so the decoding helper can use it
// before it hands a byte to libheif.
namespace HeifHeader {

enum class Verdict {
  allowed,   // every declared size is within the limit
  tooLarge,  // some declared size exceeds it
  noPixels,  // some declared size is 0 on a side: damaged
  malformed, // the boxes cannot be walked, or a canvas cannot be found
};

// `maxPixels` bounds width × height of each declared size. `largest`, when
// given and the verdict is allowed, is the largest declared width × height:
// the most pixels a decoder holds at once for the file's picture.
Verdict check(const unsigned char *data, std::size_t size, double maxPixels, double *largest = nullptr);

} // namespace HeifHeader

} // namespace crel
