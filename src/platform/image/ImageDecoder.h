#pragma once

#include "ImageLimits.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>

namespace crel {

// The one way images from outside become pixels, for the application and
// every tool alike: PNG, JPEG, TIFF, HEIC and the other raster formats Qt
// reads, full size and upright by the file's orientation. Every size the
// file declares is checked before any pixel memory is allocated, so an
// oversized file costs nothing. HEIF files are decoded by a short-lived
// helper process (crel-heif-decoder) under limits of memory and time, so a
// decoder that aborts or runs away on a crafted file takes down only itself.
class ImageDecoder {
public:
  ImageDecoder() = delete;

  // Width × height may be at most this; exactly this is accepted.
  static constexpr double maxPixels = ImageLimits::maxPixels;
  // Neither side may be longer; such an image could never be saved again.
  static constexpr int maxSide = ImageLimits::maxSide;

  // Why no image came out.
  enum class Refusal {
    none,
    notFound,       // nothing at the path
    notReadable,    // no permission, or a read error
    notRegularFile, // a folder, FIFO, socket or device: never opened
    notImage,       // not a raster image, empty, damaged or undecodable
    tooLarge,       // some declared size exceeds maxPixels
    sideTooLong,    // within maxPixels, but a side is longer than maxSide
    noPixels,       // a declared size is 0 on a side: damaged
    noMemory,       // turned down by `affordable`, or its pixels could not be allocated
    // The HEIF helper could not be started, which says nothing of the file:
    noProcess,     // no process or memory to be had (a limit on processes)
    noDescriptors, // too many files open, in this process or the system
    noDecoder,     // missing from the bundle, or it cannot be run
  };

  // Asked once the header is read, before any pixel memory is allocated,
  // with the most pixels the file's decoding holds at once; false refuses
  // the file as noMemory.
  using Affordable = std::function<bool(double pixels)>;

  // A null image when the file is refused; `refusal`, when given, says why.
  // Only a regular file is opened, and without blocking.
  // `accepts`, when given, judges the first bytes: a file it turns down is
  // refused as notImage before any decoder sees it.
  static QImage read(const QString &path, Refusal *refusal = nullptr,
                     const std::function<bool(const QByteArray &head)> &accepts = {},
                     const Affordable &affordable = {});
  static QImage decode(const QByteArray &data, Refusal *refusal = nullptr, const Affordable &affordable = {});
};

} // namespace crel
