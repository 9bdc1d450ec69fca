#pragma once

#include "capture/CaptureSnapshot.h"

#include <QImage>
#include <QPainter>

namespace crel::test {

// 800 × 600 pixels: green top left, red top right, blue bottom left, yellow
// bottom right.
inline QImage quadrantImage() {
  QImage image(800, 600, QImage::Format_RGB32);
  QPainter p(&image);
  p.fillRect(0, 0, 400, 300, QColor(0, 255, 0));
  p.fillRect(400, 0, 400, 300, QColor(255, 0, 0));
  p.fillRect(0, 300, 400, 300, QColor(0, 0, 255));
  p.fillRect(400, 300, 400, 300, QColor(255, 255, 0));
  return image;
}

// A 2× display left of and above the origin.
inline CaptureSnapshot primarySnapshot() { return {42, geom::Rect(-500, -500, 400, 300), quadrantImage()}; }
// A 1× display below the origin.
inline CaptureSnapshot secondarySnapshot() { return {43, geom::Rect(0, 1080, 800, 600), quadrantImage()}; }

} // namespace crel::test
