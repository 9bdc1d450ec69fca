#include "ImagePyramid.h"

#include "ParallelFor.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace crel {

ImagePyramid::ImagePyramid(const QImage &image) : base_(image) {}

int ImagePyramid::levelCount() const {
  int count = 1;
  for (int w = base_.width(), h = base_.height(); w > 1 || h > 1; w = (w + 1) / 2, h = (h + 1) / 2)
    ++count;
  return count;
}

double ImagePyramid::levelScale(int i) { return std::ldexp(1.0, -i); }

int ImagePyramid::levelFor(double scale) const {
  if (!(scale > 0) || !std::isfinite(scale))
    return 0;
  // Largest i with 2^-i >= scale.
  const int i = static_cast<int>(std::floor(-std::log2(scale) + 1e-9));
  return std::clamp(i, 0, levelCount() - 1);
}

QImage ImagePyramid::level(int i) const {
  if (base_.isNull())
    return {};
  i = std::clamp(i, 0, levelCount() - 1);
  const std::lock_guard lock(mutex_);
  if (levels_.empty())
    levels_.push_back(base_.format() == QImage::Format_ARGB32_Premultiplied
                          ? base_
                          : base_.convertToFormat(QImage::Format_ARGB32_Premultiplied));
  while (static_cast<int>(levels_.size()) <= i)
    levels_.push_back(halved(levels_.back()));
  return levels_[i];
}

namespace {

// Per channel (p + q + r + s + 2) >> 2, two channels at a time in 16-bit
// lanes (at most 4 * 255 + 2: no carry into the next lane).
inline std::uint32_t average4(std::uint32_t p, std::uint32_t q, std::uint32_t r, std::uint32_t s) {
  constexpr std::uint32_t mask = 0x00ff00ff, rounding = 0x00020002;
  const std::uint32_t even = (p & mask) + (q & mask) + (r & mask) + (s & mask) + rounding;
  const std::uint32_t odd = ((p >> 8) & mask) + ((q >> 8) & mask) + ((r >> 8) & mask) + ((s >> 8) & mask) + rounding;
  return ((even >> 2) & mask) | (((odd >> 2) & mask) << 8);
}

} // namespace

QImage ImagePyramid::halved(const QImage &image) {
  const QImage source = image.format() == QImage::Format_ARGB32_Premultiplied
                            ? image
                            : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const int w = source.width(), h = source.height();
  const int hw = (w + 1) / 2, hh = (h + 1) / 2;
  QImage result(hw, hh, QImage::Format_ARGB32_Premultiplied);
  if (result.isNull() || source.isNull())
    return result;
  std::uint8_t *const bits = result.bits();
  const qsizetype stride = result.bytesPerLine();
  constexpr int rowsPerBand = 32;
  parallelFor((hh + rowsPerBand - 1) / rowsPerBand,
              [&](int band) {
                const int end = std::min(hh, (band + 1) * rowsPerBand);
                for (int y = band * rowsPerBand; y < end; ++y) {
                  const auto *a = reinterpret_cast<const std::uint32_t *>(source.constScanLine(2 * y));
                  const auto *b =
                      reinterpret_cast<const std::uint32_t *>(source.constScanLine(std::min(2 * y + 1, h - 1)));
                  auto *out = reinterpret_cast<std::uint32_t *>(bits + stride * y);
                  // Whole pairs first, in a loop the compiler vectorises; an
                  // odd last column is averaged with itself.
                  const int pairs = w / 2;
                  for (int x = 0; x < pairs; ++x)
                    out[x] = average4(a[2 * x], a[2 * x + 1], b[2 * x], b[2 * x + 1]);
                  if (pairs < hw)
                    out[pairs] = average4(a[w - 1], a[w - 1], b[w - 1], b[w - 1]);
                }
              },
              // A pixel costs a fraction of a nanosecond here: threads
              // (started per call) pay off only on the largest images.
              static_cast<std::int64_t>(w) * h / 64);
  return result;
}

void ImagePyramid::draw(QPainter &painter, const QRectF &target) const {
  if (base_.isNull() || target.isEmpty())
    return;
  const QTransform &t = painter.combinedTransform();
  // On-screen pixels per image pixel; for a rotation or shear this is the
  // larger of the two axis scales, which errs on the sharp side.
  const double sx = std::hypot(t.m11(), t.m12()) * target.width() / base_.width();
  const double sy = std::hypot(t.m21(), t.m22()) * target.height() / base_.height();
  const int i = levelFor(std::max(sx, sy));
  const QImage image = level(i);

  // Only the visible part is read: a zoomed-in view of a huge image touches a few of its pixels.
  // Worked out in painter coordinates: the device's size in pixels is not
  // known here (a widget painted through QWidget::render, or on a high-density
  // backing store, reports its logical size while the transform maps to
  // pixels), but its logical rectangle (the window) and the clip are.
  QRectF visible = target;
  bool invertible = false;
  const QTransform inverseWorld = painter.worldTransform().inverted(&invertible);
  if (invertible)
    visible &= inverseWorld.mapRect(QRectF(painter.window()));
  if (painter.hasClipping())
    visible &= painter.clipBoundingRect();
  if (visible.isEmpty())
    return;
  // Level coordinates of the visible part, widened to whole level pixels so
  // that smooth scaling sees the neighbours it blends with.
  const double kx = base_.width() * levelScale(i) / target.width();
  const double ky = base_.height() * levelScale(i) / target.height();
  QRectF source((visible.left() - target.left()) * kx, (visible.top() - target.top()) * ky, visible.width() * kx,
                visible.height() * ky);
  source = QRectF(QPointF(std::max(0.0, std::floor(source.left()) - 1), std::max(0.0, std::floor(source.top()) - 1)),
                  QPointF(std::min<double>(image.width(), std::ceil(source.right()) + 1),
                          std::min<double>(image.height(), std::ceil(source.bottom()) + 1)));
  const QRectF drawn(target.left() + source.left() / kx, target.top() + source.top() / ky, source.width() / kx,
                     source.height() / ky);
  const bool smooth = painter.testRenderHint(QPainter::SmoothPixmapTransform);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.drawImage(drawn, image, source);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

} // namespace crel
