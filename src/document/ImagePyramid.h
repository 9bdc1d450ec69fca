#pragma once

#include <QImage>
#include <QRectF>

#include <mutex>
#include <vector>

class QPainter;

namespace crel {

// Successive halvings of an image, built on first use, for drawing it small
// without aliasing: level i is the image at scale 2^-i, each pixel the mean
// of a 2×2 block of the level above (premultiplied, so edges of transparent
// areas do not darken). An odd last row or column is averaged with itself,
// which keeps level i aligned with the original: its pixel (x, y) covers the
// original's pixels [x·2^i, (x+1)·2^i) in both axes.
class ImagePyramid {
public:
  ImagePyramid() = default;
  explicit ImagePyramid(const QImage &image);

  const QImage &base() const { return base_; }
  // Number of levels down to 1×1 (1 for a 1×1 or null image).
  int levelCount() const;
  // Level i, built (with every level above it) on the first request.
  // Safe to call from several threads.
  QImage level(int i) const;
  static double levelScale(int i);
  // The smallest level still at least as detailed as drawing the original
  // at `scale` (on-screen pixels per image pixel), so the final smooth
  // scaling never shrinks by more than half.
  int levelFor(double scale) const;

  // Draws the whole image into `target` (painter coordinates) from the level
  // that suits the painter's current transform, reading only the part that
  // can be visible through the clip or on the device.
  void draw(QPainter &painter, const QRectF &target) const;

  // One halving step, exposed for its tests.
  static QImage halved(const QImage &image);

private:
  QImage base_;
  mutable std::mutex mutex_;
  mutable std::vector<QImage> levels_; // levels_[0] is the premultiplied base
};

} // namespace crel
