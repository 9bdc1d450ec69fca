#pragma once

// Shared by the developer renderers: one widget drawn to a PNG on white at a
// given device-pixel ratio; the written path goes to standard output.

#include <QImage>
#include <QWidget>

#include <cstdio>

namespace crel::tools {

inline bool renderToPng(QWidget &root, const QString &path, double scale) {
  QImage image((QSizeF(root.size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(scale);
  image.fill(Qt::white);
  root.render(&image);
  if (!image.save(path)) {
    std::fprintf(stderr, "FAIL: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

} // namespace crel::tools
