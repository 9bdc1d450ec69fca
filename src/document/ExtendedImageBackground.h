#pragma once

#include "ImagePyramid.h"

#include "platform/base/Geometry.h"

#include <QColor>
#include <QImage>
#include <QSize>

class QPainter;

namespace crel {

// The surface of a document: its screenshot, and beyond the screenshot's
// edges (where marks have grown the canvas) a light grey with a fixed grain.
// Immutable once made. Coordinates are canvas pixels: origin at the
// screenshot's top-left, y down.
class ExtendedImageBackground {
public:
  explicit ExtendedImageBackground(const QImage &image);
  ExtendedImageBackground(const ExtendedImageBackground &) = delete;
  ExtendedImageBackground &operator=(const ExtendedImageBackground &) = delete;

  // The image as it was captured or opened.
  const QImage &original() const { return original_; }
  // The image converted once to 8-bit sRGB, premultiplied; shares memory
  // with `original` when that already is in this form or opaque RGB32, and
  // is `original` itself when it cannot be converted.
  const QImage &pixels() const { return pixels_; }
  // What exports and blur patches draw: the sRGB pixels.
  const QImage &rendering() const { return pixels_; }
  QSize size() const { return size_; }
  // Halvings of `pixels` for drawing the screenshot small on screen.
  const ImagePyramid &pyramid() const { return pyramid_; }

  // Paints the canvas rectangle `rect`: grey and grain where it lies outside
  // the screenshot (nothing of it when it lies inside), then the screenshot.
  // The grain is anchored at the canvas origin and drawn without smoothing.
  // On screen the screenshot comes from the pyramid level that suits the
  // painter's scale; otherwise only the part inside `rect` is copied 1:1.
  // Both draw the sRGB pixels: there is no display colour management to
  // show the original's colour space faithfully, and sRGB is what a
  // desktop monitor is assumed to be.
  void draw(QPainter &painter, const geom::Rect &rect, bool onScreen) const;

  // sRGB grey 0.945, opaque.
  static QColor baseColor();
  // The 128×128 grain tile (opaque greys 239…243); null when it could not be made.
  static const QImage &grain();

private:
  QImage original_;
  QImage pixels_;
  QSize size_;
  ImagePyramid pyramid_;
};

} // namespace crel
