#include "PixelProbe.h"

#include "Failure.h"

#include <QColorSpace>

#include <cmath>

namespace crel::NativeTests {

QImage decodePNG(const QByteArray &data, const QString &what) {
  QImage image = QImage::fromData(data, "PNG");
  if (image.isNull())
    throw Failure(what + QStringLiteral(" could not be decoded as PNG"));
  if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace(QColorSpace::SRgb))
    image.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
  return image.convertToFormat(QImage::Format_RGBA8888);
}

QColor colorAt(const QImage &image, int x, int y) {
  if (!image.valid(x, y))
    throw Failure(QStringLiteral("Pixel (%1, %2) lies outside the %3 by %4 image")
                      .arg(x)
                      .arg(y)
                      .arg(image.width())
                      .arg(image.height()));
  return image.pixelColor(x, y);
}

QColor colorAt(const QImage &image, const geom::Rect &rect, double x, double y) {
  const double dx = std::trunc(x - rect.minX());
  const double dy = std::trunc(y - rect.minY());
  if (!std::isfinite(dx) || !std::isfinite(dy) || std::abs(dx) > 1e9 || std::abs(dy) > 1e9)
    throw Failure(QStringLiteral("Canvas point (%1, %2) has no pixel in the export").arg(x).arg(y));
  return colorAt(image, int(dx), int(dy));
}

double distance(const QColor &a, const QColor &b) {
  return std::abs(a.redF() - b.redF()) + std::abs(a.greenF() - b.greenF()) + std::abs(a.blueF() - b.blueF()) +
         std::abs(a.alphaF() - b.alphaF());
}

bool matches(const QColor &a, const QColor &b) {
  return std::abs(a.redF() - b.redF()) < 0.005 && std::abs(a.greenF() - b.greenF()) < 0.005 &&
         std::abs(a.blueF() - b.blueF()) < 0.005 && std::abs(a.alphaF() - b.alphaF()) < 0.005;
}

} // namespace crel::NativeTests
