#include "DragHandle.h"

#include "BarModel.h"
#include "DragPayload.h"

#include "chrome/ChromeColors.h"
#include "chrome/ChromeShape.h"
#include "document/CrelDocument.h"
#include "platform/base/Translate.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <utility>

namespace crel {

DragHandle::DragHandle(CrelDocument &document, QWidget *parent) : QWidget(parent), document_(document) {
  setObjectName(QStringLiteral("drag-image"));
  setAccessibleName(crel::tr("Drag the image into another app"));
  setFixedSize(32, 32);
  setCursor(Qt::OpenHandCursor);
  connect(&tilt_, &AnimatedValue::changed, this, qOverload<>(&QWidget::update));
}

void DragHandle::setHovered(bool hovered) {
  hovered_ = hovered;
  tilt_.animateTo(hovered ? -4 : 0, 0.18);
  update();
}

void DragHandle::enterEvent(QEnterEvent *) { setHovered(true); }
void DragHandle::leaveEvent(QEvent *) { setHovered(false); }

void DragHandle::setThumbnailHeld(bool held) {
  if (std::exchange(thumbnailHeld_, held) && !held)
    update();
}

QPixmap DragHandle::thumbnail(double dpr) const {
  const QSizeF size = BarModel::thumbnailSize(document_.pixelSize());
  const QSize pixels = (size * dpr).toSize();
  if (thumbnail_.size() == pixels && thumbnail_.devicePixelRatio() == dpr)
    return thumbnail_;
  // Aspect fill: the middle of the image, its own proportions kept. Scaled
  // from the smallest halving still twice the thumbnail's size (shared with
  // the canvas): a smooth scale of a whole 4K screenshot to a few dozen
  // pixels is slower than the rest of the editor's first frame.
  const QSize image = document_.pixelSize();
  const double fill =
      image.isEmpty() ? 1 : std::max(double(pixels.width()) / image.width(), double(pixels.height()) / image.height());
  const ImagePyramid &pyramid = document_.background().pyramid();
  const QImage source = pyramid.level(pyramid.levelFor(2 * fill));
  const QImage scaled = source.scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
  QImage cut = scaled.copy((scaled.width() - pixels.width()) / 2, (scaled.height() - pixels.height()) / 2,
                           pixels.width(), pixels.height());
  cut.setDevicePixelRatio(dpr);
  thumbnail_ = QPixmap::fromImage(cut);
  return thumbnail_;
}

void DragHandle::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
  if (hovered_) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(ChromeColors::black(0.055));
    painter.drawEllipse(QRectF(rect()));
  }
  const QSizeF size = BarModel::thumbnailSize(document_.pixelSize());
  const QRectF frame(QPointF(-size.width() / 2, -size.height() / 2), size);
  painter.translate(QRectF(rect()).center());
  painter.rotate(tilt_.value());
  const QPainterPath shape = ChromeShape::path(frame, 3);
  // A soft shadow: black 0.15, 1.5 blur, half a point down.
  for (int i = 3; i >= 1; --i)
    painter.fillPath(ChromeShape::path(frame.adjusted(-0.5 * i, -0.5 * i + 0.5, 0.5 * i, 0.5 * i + 0.5), 3 + 0.5 * i),
                     ChromeColors::black(0.05));
  painter.setClipPath(shape);
  const double dpr = painter.device()->devicePixelRatioF();
  if (thumbnailHeld_ && thumbnail_.isNull())
    painter.fillPath(shape, ChromeColors::black(0.06));
  else
    painter.drawPixmap(frame, thumbnail(dpr), QRectF());
  painter.setClipping(false);
  painter.setPen(QPen(ChromeColors::black(0.18), 0.5));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(ChromeShape::path(frame.adjusted(0.25, 0.25, -0.25, -0.25), 2.75));
}

void DragHandle::mousePressEvent(QMouseEvent *event) {
  if (event->button() == Qt::LeftButton)
    pressAt_ = event->position().toPoint();
  event->accept();
}

void DragHandle::mouseReleaseEvent(QMouseEvent *event) {
  pressAt_.reset();
  event->accept();
}

void DragHandle::mouseMoveEvent(QMouseEvent *event) {
  if (!pressAt_ || (event->position().toPoint() - *pressAt_).manhattanLength() < QApplication::startDragDistance())
    return;
  pressAt_.reset();
  auto *drag = new QDrag(this);
  drag->setMimeData(DragPayload::make(document_).release());
  const QPixmap pixmap = thumbnail(devicePixelRatioF());
  drag->setPixmap(pixmap);
  drag->setHotSpot(QPoint(pixmap.width(), pixmap.height()) / (2 * pixmap.devicePixelRatio()));
  drag->exec(Qt::CopyAction);
}

} // namespace crel
