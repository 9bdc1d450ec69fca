#include "ExtendedImageBackground.h"

#include <QColorSpace>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace crel {

namespace {

void releaseShared(void *info) { delete static_cast<QImage *>(info); }

QImage toSrgbPremultiplied(const QImage &image) {
  if (image.isNull())
    return image;
  QImage converted = image;
  const QColorSpace space = image.colorSpace();
  if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) {
    converted = image.convertedToColorSpace(QColorSpace::SRgb);
    if (converted.isNull())
      converted = image;
  }
  if (converted.format() == QImage::Format_RGB32) {
    // Opaque 32-bit pixels (0xffRRGGBB) already are premultiplied ARGB: the
    // screenshot's own memory serves, where a copy would cost as much as
    // the editor's whole first frame. Read-only; a writer gets its own copy.
    auto *owner = new QImage(converted);
    QImage shared(owner->constBits(), owner->width(), owner->height(), owner->bytesPerLine(),
                  QImage::Format_ARGB32_Premultiplied, releaseShared, owner);
    shared.setColorSpace(owner->colorSpace());
    shared.setDevicePixelRatio(owner->devicePixelRatio());
    return shared;
  }
  converted = converted.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  return converted.isNull() ? image : converted;
}

QImage makeGrain() {
  QImage tile(128, 128, QImage::Format_RGBA8888);
  if (tile.isNull())
    return {};
  std::uint32_t s = 0x71A3B92D;
  for (int y = 0; y < 128; ++y) {
    std::uint8_t *row = tile.scanLine(y);
    for (int x = 0; x < 128; ++x) {
      s ^= s << 13;
      s ^= s >> 17;
      s ^= s << 5;
      const auto g = static_cast<std::uint8_t>(239 + s % 5);
      row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = g;
      row[4 * x + 3] = 255;
    }
  }
  // Opaque grey is the same in either byte order; this one tiles without conversion.
  return tile.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

ExtendedImageBackground::ExtendedImageBackground(const QImage &image)
    : original_(image), pixels_(toSrgbPremultiplied(image)), size_(image.size()), pyramid_(pixels_) {}

QColor ExtendedImageBackground::baseColor() { return QColor::fromRgbF(0.945f, 0.945f, 0.945f, 1.0f); }

const QImage &ExtendedImageBackground::grain() {
  static const QImage tile = makeGrain();
  return tile;
}

void ExtendedImageBackground::draw(QPainter &painter, const geom::Rect &rect, bool onScreen) const {
  if (rect.isNull())
    return;
  const QRectF r = rect.standardized().toQRectF();
  const QRectF screenshot(0, 0, size_.width(), size_.height());
  if (!screenshot.contains(r)) {
    // The part of r outside the screenshot, as up to four bands.
    const double top = std::clamp(0.0, r.top(), r.bottom());
    const double bottom = std::clamp(screenshot.bottom(), r.top(), r.bottom());
    const double left = std::clamp(0.0, r.left(), r.right());
    const double right = std::clamp(screenshot.right(), r.left(), r.right());
    const QRectF bands[] = {
        QRectF(QPointF(r.left(), r.top()), QPointF(r.right(), top)),
        QRectF(QPointF(r.left(), bottom), QPointF(r.right(), r.bottom())),
        QRectF(QPointF(r.left(), top), QPointF(left, bottom)),
        QRectF(QPointF(right, top), QPointF(r.right(), bottom)),
    };
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setBrushOrigin(0, 0);
    const QImage &tile = grain();
    for (const QRectF &band : bands) {
      if (band.isEmpty())
        continue;
      painter.fillRect(band, baseColor());
      if (!tile.isNull())
        painter.fillRect(band, QBrush(tile));
    }
    painter.restore();
  }

  if (pixels_.isNull())
    return;
  if (onScreen) {
    pyramid_.draw(painter, screenshot);
    return;
  }
  // Exports draw at 1:1 on whole pixels; copying only the part inside r
  // keeps a one-pixel sample as cheap as it should be.
  const QRect part = r.toAlignedRect() & QRect(QPoint(0, 0), size_);
  if (part.isEmpty())
    return;
  const bool smooth = painter.testRenderHint(QPainter::SmoothPixmapTransform);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.drawImage(part, pixels_, part);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

} // namespace crel
