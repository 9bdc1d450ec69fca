#include "WeightGlyph.h"

#include "ChromeColors.h"
#include "ChromeFonts.h"
#include "ChromeShape.h"

#include <QPainter>

#include <algorithm>
#include <array>

namespace crel::WeightGlyph {

namespace {

int clampIndex(int index) {
  Q_ASSERT(index >= 0 && index < presetCount);
  return std::clamp(index, 0, presetCount - 1);
}

constexpr std::array<double, 4> letterSizes{10, 12.5, 15, 18}, dotSizes{8, 10.5, 13, 15.5},
    markerHeights{3.5, 5.5, 7.5, 10}, strokeHeights{1.5, 2.5, 4, 6};

} // namespace

QSizeF size(Kind kind, int index) {
  const size_t i = size_t(clampIndex(index));
  switch (kind) {
  case Kind::letter: return {letterSizes[i], letterSizes[i]};
  case Kind::dot: return {dotSizes[i], dotSizes[i]};
  case Kind::marker: return {16, markerHeights[i]};
  case Kind::stroke: break;
  }
  return {16, strokeHeights[i]};
}

void paint(QPainter &painter, const QRectF &rect, Kind kind, int index, const QColor &color) {
  const QSizeF s = size(kind, index);
  const QRectF frame(rect.center() - QPointF(s.width() / 2, s.height() / 2), s);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  switch (kind) {
  case Kind::letter:
    painter.setPen(color);
    painter.setFont(ChromeFonts::font(s.height(), QFont::DemiBold));
    painter.drawText(rect, Qt::AlignCenter, QStringLiteral("A"));
    break;
  case Kind::dot:
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(frame);
    break;
  case Kind::marker: painter.fillPath(ChromeShape::path(frame, 1.5), ChromeColors::withAlpha(color, 0.55)); break;
  case Kind::stroke: painter.fillPath(ChromeShape::path(frame, std::nullopt), color); break;
  }
  painter.restore();
}

} // namespace crel::WeightGlyph
