#include "RegionSelectionView.h"

#include "CapturePanel.h"
#include "platform/base/Translate.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace crel {

namespace {

constexpr double minimumSide = 3;
// The stroke is 1.5 points wide and antialiased; a band this wide around
// the selection's edge covers it.
constexpr int strokeMargin = 2;

QRect outward(const QRectF &r, int margin) { return r.toAlignedRect().adjusted(-margin, -margin, margin, margin); }

} // namespace

RegionSelectionView::RegionSelectionView(CaptureSnapshot snapshot) : snapshot_(std::move(snapshot)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(false);
  setCursor(Qt::CrossCursor);
  setAccessibleName(crel::tr("Screen capture region. Drag an area to capture, or press Escape to cancel."));
  const QSizeF size = snapshot_.screenFrame.isNull() ? QSizeF() : snapshot_.screenFrame.standardized().size();
  resize(QSize(int(std::ceil(size.width())), int(std::ceil(size.height()))));
  shownDecoration_ = decoration();
}

std::optional<QRectF> RegionSelectionView::selection() const {
  if (!anchor_ || !cursor_)
    return std::nullopt;
  return selectionRect(*anchor_, *cursor_, QRectF(rect()));
}

QRectF RegionSelectionView::selectionRect(QPointF anchor, QPointF cursor, const QRectF &bounds) {
  const QRectF spanned(QPointF(std::min(anchor.x(), cursor.x()), std::min(anchor.y(), cursor.y())),
                       QPointF(std::max(anchor.x(), cursor.x()), std::max(anchor.y(), cursor.y())));
  // geom::Rect, not QRectF: a zero-width drag must stay zero wide rather
  // than become invalid.
  const geom::Rect clipped = geom::Rect::fromQRectF(spanned).intersected(geom::Rect::fromQRectF(bounds));
  if (clipped.isNull())
    return {};
  return clipped.toQRectF();
}

bool RegionSelectionView::isLargeEnough(const QRectF &selection) {
  return selection.width() >= minimumSide && selection.height() >= minimumSide;
}

QString RegionSelectionView::sizeLabelText(const CaptureSnapshot &snapshot, const QRectF &localSelection) {
  const geom::Rect global =
      geom::Rect::fromQRectF(localSelection).offsetBy(snapshot.screenFrame.minX(), snapshot.screenFrame.minY());
  const QRect pixels = snapshot.pixelRect(global);
  // Not translated: digits and a unit.
  return QString::number(pixels.width()) + QStringLiteral(" \u00d7 ") + QString::number(pixels.height()) +
         QStringLiteral(" px");
}

QPointF RegionSelectionView::hintOrigin(const QSizeF &bounds) {
  return {std::max(bounds.width() / 2 - 170, 20.0), bounds.height() / 2};
}

QPointF RegionSelectionView::sizeLabelOrigin(const QRectF &selection, const QSizeF &bounds) {
  // Just below the selection, but never closer than 12 points to the bottom
  // edge and never starting closer than 180 points to the right edge.
  return {std::min(selection.left(), bounds.width() - 180), std::min(selection.bottom() + 35, bounds.height() - 12)};
}

QFont RegionSelectionView::labelFont() {
  QFont font = QGuiApplication::font();
  font.setPixelSize(13);
  font.setWeight(QFont::Medium);
  return font;
}

QString RegionSelectionView::hintText() { return crel::tr("Drag to capture an area \u00b7 Esc to cancel"); }

QRectF RegionSelectionView::bubbleRect(const QString &text, QPointF origin) {
  const QFontMetricsF metrics(labelFont());
  const double width = metrics.horizontalAdvance(text) + 24;
  const double height = metrics.height() + 16;
  return {origin.x(), origin.y() - height, width, height};
}

void RegionSelectionView::drawLabel(QPainter &painter, const QString &text, QPointF origin) {
  const QRectF bubble = bubbleRect(text, origin);
  const QFont font = labelFont();
  const QFontMetricsF metrics(font);
  QPainterPath path;
  path.addRoundedRect(bubble, 8, 8);
  painter.fillPath(path, QColor::fromRgbF(0, 0, 0, 0.85f));
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QPointF(bubble.left() + 12, bubble.top() + 8 + metrics.ascent()), text);
}

QRegion RegionSelectionView::decoration() const {
  const std::optional<QRectF> s = selection();
  if (!s)
    return outward(bubbleRect(hintText(), hintOrigin(QSizeF(size()))), 1);
  const QRegion band = QRegion(outward(*s, strokeMargin)) - QRegion(s->toAlignedRect().adjusted(2, 2, -2, -2));
  const QRectF label = bubbleRect(sizeLabelText(snapshot_, *s), sizeLabelOrigin(*s, QSizeF(size())));
  return band + outward(label, 1);
}

void RegionSelectionView::refreshOverlay() {
  const std::optional<QRectF> s = selection();
  const QRegion interiorBefore = shownSelection_ ? QRegion(shownSelection_->toAlignedRect()) : QRegion();
  const QRegion interiorNow = s ? QRegion(s->toAlignedRect()) : QRegion();
  const QRegion decorationNow = decoration();
  // Where the selection stays, its undimmed pixels do not change: only the
  // part it gained or lost, and the stroke and label, need painting.
  update(interiorBefore.xored(interiorNow) + shownDecoration_ + decorationNow);
  shownSelection_ = s;
  shownDecoration_ = decorationNow;
}

// Where the still has more pixels than the panel has device pixels (a 1.5x
// or 2x output's panel under XWayland), a plain copy would drop whole rows
// and columns of them, thin strokes with them. Each device pixel then shows
// the mean of the still's pixels under it, so a one-pixel line keeps at least
// a quarter of its contrast up to 2x (smooth painting keeps an eighth at
// 1.75x). The averaged copy is made once, at the first paint: a panel's worth
// of memory, made in less time than smooth painting takes, copied 1:1 after.
const RegionSelectionView::Backdrop &RegionSelectionView::backdrop(double deviceRatio) {
  const QImage &still = snapshot_.image;
  if (backdrop_.deviceRatio == deviceRatio && backdrop_.panel == size())
    return backdrop_;
  backdrop_ = {{}, 0, 0, deviceRatio, size()};
  if (still.isNull() || snapshot_.screenFrame.standardized().isEmpty())
    return backdrop_;
  const auto [sx, sy] = snapshot_.pixelsPerPoint();
  if (sx <= deviceRatio * 1.001 && sy <= deviceRatio * 1.001) {
    backdrop_ = {still, sx, sy, deviceRatio, size()};
    return backdrop_;
  }
  // The part of the still the panel shows, so that each device pixel averages
  // the still's pixels at the still's own scale.
  const QSize device = (QSizeF(size()) * deviceRatio).toSize();
  const QSize shown(std::min(still.width(), qRound(device.width() * sx / deviceRatio)),
                    std::min(still.height(), qRound(device.height() * sy / deviceRatio)));
  const QImage part(still.constBits(), shown.width(), shown.height(), still.bytesPerLine(), still.format());
  backdrop_ = {part.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), deviceRatio, deviceRatio,
               deviceRatio, size()};
  return backdrop_;
}

void RegionSelectionView::drawBackdrop(QPainter &painter, const Backdrop &backdrop, const QRectF &target) {
  if (backdrop.image.isNull() || target.isEmpty())
    return;
  const double sx = backdrop.sx, sy = backdrop.sy;
  const QRectF source(target.x() * sx, target.y() * sy, target.width() * sx, target.height() * sy);
  painter.drawImage(target, backdrop.image, source);
}

void RegionSelectionView::paintEvent(QPaintEvent *event) {
  // The dimming is blended straight over the still as painted: a dimmed copy
  // made beforehand would be a display's worth of fresh memory to fill, on
  // the way to the first paint, and to keep for as long as the panel shows.
  QPainter painter(this);
  // The pixels painted into: the backing store's, or a grab's image.
  const QPaintDevice *pixels = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
  const Backdrop &still = backdrop((pixels ? pixels : painter.device())->devicePixelRatio());
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  if (still.image.isNull())
    painter.fillRect(event->rect(), Qt::black);
  for (const QRect &r : event->region())
    drawBackdrop(painter, still, QRectF(r));
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  for (const QRect &r : event->region())
    painter.fillRect(r, QColor::fromRgbF(0, 0, 0, 0.28f));

  const std::optional<QRectF> s = selection();
  if (!s) {
    painter.setRenderHint(QPainter::Antialiasing);
    drawLabel(painter, hintText(), hintOrigin(QSizeF(size())));
    return;
  }
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  for (const QRect &r : event->region())
    drawBackdrop(painter, still, QRectF(r) & *s);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::white, 1.5));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(*s);
  drawLabel(painter, sizeLabelText(snapshot_, *s), sizeLabelOrigin(*s, QSizeF(size())));
}

void RegionSelectionView::mousePressEvent(QMouseEvent *event) {
  event->accept();
  if (completed_ || event->button() != Qt::LeftButton)
    return; // the right-button press is swallowed; its release cancels
  if (panel_)
    panel_->makeKey();
  anchor_ = event->position();
  cursor_ = event->position();
  refreshOverlay();
}

void RegionSelectionView::mouseDoubleClickEvent(QMouseEvent *event) { mousePressEvent(event); }

void RegionSelectionView::mouseMoveEvent(QMouseEvent *event) {
  event->accept();
  if (completed_ || !anchor_)
    return;
  cursor_ = event->position();
  refreshOverlay();
}

void RegionSelectionView::mouseReleaseEvent(QMouseEvent *event) {
  event->accept();
  if (completed_)
    return;
  if (event->button() == Qt::RightButton) {
    cancelSelection();
    return;
  }
  if (event->button() != Qt::LeftButton || !anchor_)
    return;
  cursor_ = event->position();
  const QRectF s = selectionRect(*anchor_, *cursor_, QRectF(rect()));
  if (isLargeEnough(s) && panel_) {
    completed_ = true;
    refreshOverlay();
    const geom::Rect frame = panel_->frame();
    report(geom::Rect::fromQRectF(s).offsetBy(frame.minX(), frame.minY()));
    return;
  }
  // Too small: dropped without a word, ready for another drag.
  anchor_.reset();
  cursor_.reset();
  refreshOverlay();
}

void RegionSelectionView::keyPressEvent(QKeyEvent *event) {
  // Every key stops here; only Escape does something.
  event->accept();
  if (event->key() == Qt::Key_Escape && !completed_)
    cancelSelection();
}

void RegionSelectionView::keyReleaseEvent(QKeyEvent *event) { event->accept(); }

// The view draws no focus, so gaining or losing it repaints nothing (Qt's
// default repaints the whole widget: a display's worth of pixels).
void RegionSelectionView::focusInEvent(QFocusEvent *event) { event->accept(); }

void RegionSelectionView::focusOutEvent(QFocusEvent *event) { event->accept(); }

void RegionSelectionView::cancelSelection() {
  completed_ = true;
  report(std::nullopt);
}

void RegionSelectionView::report(std::optional<geom::Rect> globalRect) {
  if (auto done = complete)
    done(globalRect);
}

} // namespace crel
