#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace crel {

// The one way images from outside become pixels, for the application and
// every tool alike: PNG, JPEG, TIFF, HEIC (through libheif) and the other
// raster formats Qt reads, full size and upright by the file's orientation.
// The pixel size is read from the header and checked before any pixel memory
// is allocated, so an oversized file costs nothing.
class ImageDecoder {
public:
  ImageDecoder() = delete;

  // Width × height may be at most this; exactly this is accepted.
  static constexpr double maxPixels = 80'000'000;

  // A null image when the file cannot be read, is not a raster image, is
  // empty, is larger than maxPixels or does not decode.
  static QImage read(const QString &path);
  static QImage decode(const QByteArray &data);
};

} // namespace crel
