#include "CanvasLayer.h"

#include <QPainter>

#include <cmath>
#include <cstring>

namespace crel {

namespace {

// The device pixels the content moved by, when only the image rectangle
// moved, by whole pixels.
std::optional<QPoint> moveBetween(const CanvasLayer::Key &from, const CanvasLayer::Key &to) {
  if (from.viewSize != to.viewSize || from.devicePixelRatio != to.devicePixelRatio ||
      from.canvasRect != to.canvasRect || from.imageRect.width() != to.imageRect.width() ||
      from.imageRect.height() != to.imageRect.height() || !(from.marks == to.marks))
    return std::nullopt;
  const double dx = (to.imageRect.minX() - from.imageRect.minX()) * to.devicePixelRatio;
  const double dy = (to.imageRect.minY() - from.imageRect.minY()) * to.devicePixelRatio;
  constexpr double far = 1 << 24;
  if (!(std::abs(dx) < far && std::abs(dy) < far) || std::abs(dx - std::round(dx)) > 1e-6 ||
      std::abs(dy - std::round(dy)) > 1e-6)
    return std::nullopt;
  return QPoint(int(std::round(dx)), int(std::round(dy)));
}

// Moves the pixels by `shift`, in place; what is uncovered keeps stale pixels.
void shiftPixels(QImage &image, QPoint shift) {
  const int columns = image.width() - std::abs(shift.x());
  const int from = std::max(0, -shift.x()), to = std::max(0, shift.x());
  const qsizetype stride = image.bytesPerLine();
  uchar *bits = image.bits();
  auto move = [&](int y) {
    std::memmove(bits + stride * y + 4 * to, bits + stride * (y - shift.y()) + 4 * from, 4 * std::size_t(columns));
  };
  if (shift.y() > 0) {
    for (int y = image.height() - 1; y >= shift.y(); --y)
      move(y);
  } else {
    for (int y = 0; y < image.height() + shift.y(); ++y)
      move(y);
  }
}

} // namespace

bool CanvasLayer::release() {
  if (image_.isNull())
    return false;
  image_ = QImage();
  key_.reset();
  offset_ = {};
  ++generation_;
  return true;
}

QImage CanvasLayer::update(const Key &key, const Paint &paint) {
  const double dpr = key.devicePixelRatio;
  const QSize view(int(std::ceil(key.viewSize.width() * dpr)), int(std::ceil(key.viewSize.height() * dpr)));
  const QSize pixels = view + QSize(2 * margin, 2 * margin);
  const std::optional<QPoint> move = key_ && image_.size() == pixels ? moveBetween(*key_, key) : std::nullopt;
  auto viewPart = [&] {
    const QPoint corner = QPoint(margin, margin) - offset_;
    QImage part(image_.constBits() + image_.bytesPerLine() * corner.y() + 4 * corner.x(), view.width(), view.height(),
                image_.bytesPerLine(), image_.format());
    part.setDevicePixelRatio(dpr);
    return part;
  };
  if (move && *move == offset_)
    return viewPart();
  ++generation_;
  if (move && std::abs(move->x()) <= margin && std::abs(move->y()) <= margin) {
    offset_ = *move;
    return viewPart();
  }
  // Painted in view points, with the margin around the view.
  auto begin = [&](QPainter &painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(margin / dpr, margin / dpr);
  };
  // The pixels are as painted for the previous key: they move by all of it.
  const std::optional<QPoint> shift = move;
  key_ = key;
  offset_ = {};
  if (!shift || std::abs(shift->x()) >= pixels.width() || std::abs(shift->y()) >= pixels.height()) {
    image_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    image_.setDevicePixelRatio(dpr);
    image_.fill(Qt::transparent);
    QPainter painter(&image_);
    begin(painter);
    paint(painter);
    return viewPart();
  }
  shiftPixels(image_, *shift);
  // The uncovered strips, one column band and one row band, cleared and
  // painted under the same clip so that they agree at any pixel ratio.
  QList<QRect> strips;
  if (shift->x() > 0)
    strips.append(QRect(0, 0, shift->x(), pixels.height()));
  else if (shift->x() < 0)
    strips.append(QRect(pixels.width() + shift->x(), 0, -shift->x(), pixels.height()));
  if (shift->y() > 0)
    strips.append(QRect(0, 0, pixels.width(), shift->y()));
  else if (shift->y() < 0)
    strips.append(QRect(0, pixels.height() + shift->y(), pixels.width(), -shift->y()));
  for (const QRect &strip : strips) {
    QPainter painter(&image_);
    painter.setClipRect(QRectF(QPointF(strip.topLeft()) / dpr, QSizeF(strip.size()) / dpr));
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.fillRect(QRectF(QPointF(0, 0), QSizeF(pixels) / dpr), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    begin(painter);
    paint(painter);
  }
  return viewPart();
}

} // namespace crel
