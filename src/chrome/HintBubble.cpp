#include "ChromeHint.h"

#include "ChromeColors.h"
#include "ChromeFonts.h"
#include "ChromeShape.h"
#include "ShadowCache.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace crel::HintBubble {

namespace {

constexpr double height = 27, sidePadding = 9, spacing = 7, chipPadding = 5, chipMinWidth = 18, chipHeight = 17;
// A longer help text wraps at this width; a name with a shortcut never does.
constexpr double wrapWidth = 320, lineGap = 7;

QFont titleFont() { return ChromeFonts::font(11.5, QFont::DemiBold); }
QFont chipFont() { return ChromeFonts::font(10.5, QFont::DemiBold); }

double chipWidth(const QString &shortcut) {
  return std::max(chipMinWidth, QFontMetricsF(chipFont()).horizontalAdvance(shortcut) + 2 * chipPadding);
}

// The title's box: one line, or lines wrapped at wrapWidth.
QSizeF titleSize(const ChromeHint &hint) {
  const QFontMetricsF metrics(titleFont());
  const double width = metrics.horizontalAdvance(hint.title);
  if (hint.shortcut || width <= wrapWidth)
    return {width, height};
  const QRectF wrapped =
      metrics.boundingRect(QRectF(0, 0, wrapWidth, 1e6), Qt::AlignLeft | Qt::TextWordWrap, hint.title);
  return {wrapped.width(), std::max(height, wrapped.height() + 2 * lineGap)};
}

} // namespace

double estimatedHalfWidth(const ChromeHint &hint) {
  return ((hint.shortcut ? 48 : 18) + 6.9 * double(hint.title.size())) * 0.5;
}

QPointF centre(const ChromeHint &hint, const QRectF &control, double layerWidth) {
  // Linux shortcut texts ("Ctrl+Shift+Z") are wider than the estimate was
  // made for; the measured width keeps such a bubble inside the window too.
  // A wrapped help text is placed by its measured width alone.
  const QSizeF measured = size(hint);
  const double half =
      measured.height() > height ? measured.width() / 2 : std::max(estimatedHalfWidth(hint), measured.width() / 2);
  const double x = std::min(layerWidth - half - 8, std::max(half + 8, control.center().x()));
  // A one-line bubble's centre lies 22 from the control; a taller one keeps its gap.
  const double reach = 22 + (measured.height() - height) / 2;
  const double y = hint.edge == ChromeHint::Edge::bottom ? control.bottom() + reach : control.top() - reach;
  return {x, y};
}

QSizeF size(const ChromeHint &hint) {
  const QSizeF title = titleSize(hint);
  double width = title.width() + 2 * sidePadding;
  if (hint.shortcut)
    width += spacing + chipWidth(*hint.shortcut);
  return {width, title.height()};
}

void paint(QPainter &painter, QPointF centre, const ChromeHint &hint) {
  const QSizeF s = size(hint);
  const QRectF bubble(centre - QPointF(s.width() / 2, s.height() / 2), s);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  ShadowCache::shared().draw(painter, bubble, 8.0, {ChromeColors::black(0.18), 8, {0, 3}});
  painter.fillPath(ChromeShape::path(bubble, 8.0), QColor::fromRgbF(0.13f, 0.13f, 0.13f, 0.94f));

  const QFont title = titleFont();
  const double titleWidth = titleSize(hint).width();
  painter.setPen(Qt::white);
  painter.setFont(title);
  painter.drawText(QRectF(bubble.left() + sidePadding, bubble.top(), titleWidth + 1, s.height()),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, hint.title);
  if (hint.shortcut) {
    const QRectF chip(bubble.left() + sidePadding + titleWidth + spacing, bubble.center().y() - chipHeight / 2,
                      chipWidth(*hint.shortcut), chipHeight);
    painter.fillPath(ChromeShape::path(chip, 4.0), ChromeColors::white(0.16));
    painter.setFont(chipFont());
    painter.drawText(chip, Qt::AlignCenter, *hint.shortcut);
  }
  painter.restore();
}

} // namespace crel::HintBubble
