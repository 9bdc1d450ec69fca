#include "GrayImage.h"

#include <algorithm>

namespace crel {

GrayImage GrayImage::from(const QImage &image) {
  GrayImage out{image.width(), image.height(), {}};
  out.pixels.resize(std::size_t(out.width) * out.height);
  if (image.format() == QImage::Format_Grayscale8) {
    for (int y = 0; y < out.height; ++y)
      std::copy_n(image.constScanLine(y), out.width, out.pixels.data() + std::size_t(y) * out.width);
    return out;
  }
  const bool direct = image.format() == QImage::Format_ARGB32_Premultiplied || image.format() == QImage::Format_RGB32 ||
                      image.format() == QImage::Format_ARGB32;
  const QImage source = direct ? image : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const bool premultiplied = source.format() != QImage::Format_ARGB32;
  for (int y = 0; y < out.height; ++y) {
    const auto *row = reinterpret_cast<const QRgb *>(source.constScanLine(y));
    std::uint8_t *target = out.pixels.data() + std::size_t(y) * out.width;
    for (int x = 0; x < out.width; ++x) {
      QRgb p = row[x];
      if (source.format() == QImage::Format_RGB32)
        p |= 0xff000000u;
      else if (!premultiplied)
        p = qPremultiply(p);
      const int white = 255 - qAlpha(p);
      target[x] = std::uint8_t(qGray(qRed(p) + white, qGreen(p) + white, qBlue(p) + white));
    }
  }
  return out;
}

std::shared_ptr<const GrayImage> GrayImage::enlarged(std::shared_ptr<GrayImage> source, int scale) {
  if (scale == 1)
    return source;
  auto out = std::make_shared<GrayImage>();
  out->width = source->width * scale;
  out->height = source->height * scale;
  out->pixels.resize(std::size_t(out->width) * out->height);
  const int lastX = source->width - 1, lastY = source->height - 1;
  for (int y = 0; y < out->height; ++y) {
    const double sy = std::clamp((y + 0.5) / scale - 0.5, 0.0, double(lastY));
    const int y0 = int(sy), y1 = std::min(y0 + 1, lastY);
    const int fy = int((sy - y0) * 256);
    std::uint8_t *target = out->pixels.data() + std::size_t(y) * out->width;
    for (int x = 0; x < out->width; ++x) {
      const double sx = std::clamp((x + 0.5) / scale - 0.5, 0.0, double(lastX));
      const int x0 = int(sx), x1 = std::min(x0 + 1, lastX);
      const int fx = int((sx - x0) * 256);
      const int top = source->at(x0, y0) * (256 - fx) + source->at(x1, y0) * fx;
      const int bottom = source->at(x0, y1) * (256 - fx) + source->at(x1, y1) * fx;
      target[x] = std::uint8_t((top * (256 - fy) + bottom * fy + (1 << 15)) >> 16);
    }
  }
  return out;
}

} // namespace crel
