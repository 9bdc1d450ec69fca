#include "ShadowCache.h"

#include "ChromeShape.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace crel {

namespace {

// Widths of three box filters whose succession matches a Gaussian of `sigma`
// (Kovesi, "Fast almost-Gaussian filtering").
std::array<int, 3> boxWidths(double sigma) {
  const int n = 3;
  int lower = int(std::floor(std::sqrt(12 * sigma * sigma / n + 1)));
  if (lower % 2 == 0)
    --lower;
  const int upper = lower + 2;
  const double m = (12 * sigma * sigma - n * lower * lower - 4 * n * lower - 3 * n) / (-4.0 * lower - 4);
  const int lowerCount = int(std::lround(m));
  std::array<int, 3> widths{};
  for (int i = 0; i < n; ++i)
    widths[size_t(i)] = i < lowerCount ? lower : upper;
  return widths;
}

// One box pass along a line of `count` values `stride` apart; zero outside.
void boxLine(float *data, int count, int stride, int radius, std::vector<float> &scratch) {
  scratch.assign(size_t(count), 0);
  const float scale = 1.0f / float(2 * radius + 1);
  float sum = 0;
  for (int i = 0; i <= std::min(radius, count - 1); ++i)
    sum += data[i * stride];
  for (int i = 0; i < count; ++i) {
    scratch[size_t(i)] = sum * scale;
    const int add = i + radius + 1, drop = i - radius;
    if (add < count)
      sum += data[add * stride];
    if (drop >= 0)
      sum -= data[drop * stride];
  }
  for (int i = 0; i < count; ++i)
    data[i * stride] = scratch[size_t(i)];
}

void blur(std::vector<float> &alpha, int width, int height, double sigma) {
  if (sigma < 0.3)
    return;
  std::vector<float> scratch;
  for (int box : boxWidths(sigma)) {
    const int radius = (box - 1) / 2;
    if (radius <= 0)
      continue;
    for (int y = 0; y < height; ++y)
      boxLine(alpha.data() + size_t(y) * size_t(width), width, 1, radius, scratch);
    for (int x = 0; x < width; ++x)
      boxLine(alpha.data() + x, height, width, radius, scratch);
  }
}

int hundredths(double v) { return int(std::lround(v * 100)); }

} // namespace

ShadowCache &ShadowCache::shared() {
  static ShadowCache cache;
  return cache;
}

double ShadowCache::reach(const SurfaceShadow &shadow) {
  return std::ceil(1.5 * shadow.radius + std::max(std::abs(shadow.offset.x()), std::abs(shadow.offset.y()))) + 1;
}

const QImage &ShadowCache::image(QSizeF size, std::optional<double> cornerRadius, const SurfaceShadow &shadow,
                                 double dpr) {
  const Key key{hundredths(size.width() * dpr),
                hundredths(size.height() * dpr),
                cornerRadius ? hundredths(*cornerRadius) : -1,
                hundredths(shadow.radius),
                hundredths(shadow.offset.x()),
                hundredths(shadow.offset.y()),
                shadow.color.rgba(),
                hundredths(dpr)};
  if (auto found = images_.find(key); found != images_.end())
    return found->second;
  // A handful of bar and button sizes live at once; a window resize makes new
  // ones, so the cache starts over rather than growing without end.
  if (images_.size() >= 64)
    images_.clear();

  const double margin = reach(shadow);
  const QSize pixels(int(std::ceil((size.width() + 2 * margin) * dpr)),
                     int(std::ceil((size.height() + 2 * margin) * dpr)));
  QImage coverage(pixels, QImage::Format_Alpha8);
  coverage.fill(0);
  {
    QPainter p(&coverage);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(dpr, dpr);
    p.fillPath(ChromeShape::path(QRectF(QPointF(margin, margin) + shadow.offset, size), cornerRadius), Qt::black);
  }
  std::vector<float> alpha(size_t(pixels.width()) * size_t(pixels.height()));
  for (int y = 0; y < pixels.height(); ++y) {
    const uchar *row = coverage.constScanLine(y);
    for (int x = 0; x < pixels.width(); ++x)
      alpha[size_t(y) * size_t(pixels.width()) + size_t(x)] = row[x] / 255.0f;
  }
  blur(alpha, pixels.width(), pixels.height(), shadow.radius / 2 * dpr);

  QImage tinted(pixels, QImage::Format_ARGB32_Premultiplied);
  const QColor c = shadow.color;
  for (int y = 0; y < pixels.height(); ++y) {
    auto *row = reinterpret_cast<QRgb *>(tinted.scanLine(y));
    for (int x = 0; x < pixels.width(); ++x) {
      const float a = alpha[size_t(y) * size_t(pixels.width()) + size_t(x)] * float(c.alphaF());
      row[x] = qPremultiply(qRgba(c.red(), c.green(), c.blue(), std::clamp(int(std::lround(a * 255)), 0, 255)));
    }
  }
  {
    QPainter p(&tinted);
    p.setRenderHint(QPainter::Antialiasing);
    p.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    p.scale(dpr, dpr);
    p.fillPath(ChromeShape::path(QRectF(QPointF(margin, margin), size), cornerRadius), Qt::black);
  }
  tinted.setDevicePixelRatio(dpr);
  return images_.emplace(key, std::move(tinted)).first->second;
}

void ShadowCache::draw(QPainter &painter, const QRectF &rect, std::optional<double> cornerRadius,
                       const SurfaceShadow &shadow) {
  if (rect.isEmpty() || shadow.color.alpha() == 0)
    return;
  const QTransform t = painter.deviceTransform();
  const double dpr = std::max(1.0, std::hypot(t.m11(), t.m12()));
  const double margin = reach(shadow);
  painter.drawImage(rect.topLeft() - QPointF(margin, margin), image(rect.size(), cornerRadius, shadow, dpr));
}

} // namespace crel
