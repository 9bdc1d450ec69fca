#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <vector>

// A picture of the X test bed's two-display desktop in which every pixel
// tells which display and which of that display's native pixels it shows.
namespace crel::test::coded {

struct Display {
  QString name;
  QRect native; // root pixels
};

// The test bed's dual layout: LEFT at 2x, RIGHT at 1x beside it.
inline const std::vector<Display> &displays() {
  static const std::vector<Display> layout{{"LEFT", {0, 0, 2880, 1800}}, {"RIGHT", {2880, 0, 1920, 1080}}};
  return layout;
}

inline QRgb colour(int display, int x, int y) {
  return qRgb(x & 0xff, y & 0xff, ((x >> 8) & 0xf) | ((y >> 8) & 0x7) << 4 | display << 7);
}

// The whole desktop, each native pixel drawn as a `scale` x `scale` block;
// black where no display is.
inline QImage desktop(int scale) {
  QRect bounds;
  for (const Display &d : displays())
    bounds |= d.native;
  QImage image(bounds.size() * scale, QImage::Format_RGB32);
  image.fill(Qt::black);
  for (int index = 0; index < int(displays().size()); ++index) {
    const QRect native = displays()[size_t(index)].native;
    for (int y = 0; y < native.height() * scale; ++y) {
      auto *line = reinterpret_cast<QRgb *>(image.scanLine(native.y() * scale + y)) + native.x() * scale;
      for (int x = 0; x < native.width() * scale; ++x)
        line[x] = colour(index, x / scale, y / scale);
    }
  }
  return image;
}

// How many pixels of `image` differ from the display's pixels starting at
// native `origin`.
inline qint64 mismatches(const QImage &image, int display, QPoint origin) {
  qint64 count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      count += image.pixel(x, y) != colour(display, origin.x() + x, origin.y() + y);
  return count;
}

} // namespace crel::test::coded
