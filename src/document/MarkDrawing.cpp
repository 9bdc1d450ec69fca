#include "MarkDrawing.h"

#include "MarkGeometry.h"
#include "MarkPaths.h"
#include "TextLayout.h"

#include "platform/desktop/BundledFonts.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace crel {

namespace {

constexpr double defaultHighlightOpacity = 0.35;

QPainter::CompositionMode highlightBlend(bool dark) {
  // Multiply darkens what lies beneath; screen lightens it, so a highlight
  // over a dark background stays visible.
  return dark ? QPainter::CompositionMode_Screen : QPainter::CompositionMode_Multiply;
}

void strokePath(QPainter &painter, const MarkPath &path, const QColor &color) {
  QPen pen(color, path.lineWidth.value_or(1), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.strokePath(path.toPainterPath(), pen);
}

void fillPath(QPainter &painter, const MarkPath &path, const QColor &color) {
  painter.fillPath(path.toPainterPath(), color);
}

void fillRect(QPainter &painter, const geom::Rect &r, const QColor &color) {
  if (!r.isNull())
    painter.fillRect(r.standardized().toQRectF(), color);
}

void drawHighlight(QPainter &painter, const Mark &mark) {
  double alpha = mark.opacity.value_or(defaultHighlightOpacity);
  alpha = std::isnan(alpha) ? defaultHighlightOpacity : std::clamp(alpha, 0.0, 1.0);
  const QColor color = mark.ink.color(alpha);
  const QList<bool> dark = mark.highlightDarkRegions.value_or(QList<bool>{});
  if (mark.regions) {
    for (qsizetype i = 0; i < mark.regions->size(); ++i) {
      painter.setCompositionMode(highlightBlend(i < dark.size() && dark[i]));
      fillRect(painter, (*mark.regions)[i], color);
    }
    return;
  }
  painter.setCompositionMode(highlightBlend(!dark.isEmpty() && dark.first()));
  const MarkPath outline = path(mark);
  if (mark.highlightMode == HighlightMode::area)
    fillPath(painter, outline, color);
  else
    strokePath(painter, outline, color);
}

// A coordinate within rounding noise of a whole device pixel is taken as
// whole, so that a box on pixel boundaries (rotated by a multiple of 90°
// included) does not grow by a row.
double snapped(double v) {
  const double whole = std::round(v);
  return std::abs(v - whole) < 1e-7 ? whole : v;
}

// Fills every device pixel that `rect` (in painter coordinates) overlaps at
// all with opaque black. Antialiasing would blend each border pixel with what
// it hides, so the rows are filled whole, without it, in device pixels.
void fillCovering(QPainter &painter, const geom::Rect &rect) {
  if (rect.isEmpty())
    return;
  const QTransform toDevice = painter.deviceTransform();
  bool invertible = false;
  const QTransform fromDevice = toDevice.inverted(&invertible);
  if (!invertible)
    return;
  const QPolygonF corners = toDevice.map(QPolygonF(rect.standardized().toQRectF()));
  double minY = INFINITY, maxY = -INFINITY;
  for (const QPointF &p : corners) {
    minY = std::min(minY, snapped(p.y()));
    maxY = std::max(maxY, snapped(p.y()));
  }
  // Pixels beyond the device (with room for its pixel ratio) are never seen.
  const QPaintDevice *device = painter.device();
  const double ratio = device ? std::max(1.0, device->devicePixelRatio()) : 1;
  const double columns = device ? device->width() * ratio + 1 : 0, rows = device ? device->height() * ratio + 1 : 0;
  const double first = std::max(std::floor(minY), -1.0), last = std::min(std::ceil(maxY), rows);
  if (!(first < last))
    return;
  // The x extent within each row's band [y, y + 1]: the box is convex, so it
  // is reached at corners inside the band or where edges cross its lines.
  QList<QRect> spans;
  for (auto y = static_cast<int>(first); y < static_cast<int>(last); ++y) {
    double left = INFINITY, right = -INFINITY;
    auto include = [&](double x) {
      left = std::min(left, snapped(x));
      right = std::max(right, snapped(x));
    };
    for (qsizetype i = 0; i < corners.size(); ++i) {
      const QPointF a = corners[i], b = corners[(i + 1) % corners.size()];
      if (a.y() >= y && a.y() <= y + 1)
        include(a.x());
      for (const double line : {double(y), y + 1.0})
        if ((a.y() - line) * (b.y() - line) < 0)
          include(a.x() + (b.x() - a.x()) * (line - a.y()) / (b.y() - a.y()));
    }
    const double from = std::max(std::floor(left), -1.0), to = std::min(std::ceil(right), columns);
    if (!(from < to))
      continue;
    const QRect span(static_cast<int>(from), y, static_cast<int>(to - from), 1);
    if (!spans.isEmpty() && spans.last().bottom() + 1 == y && spans.last().left() == span.left() &&
        spans.last().right() == span.right())
      spans.last().setBottom(y);
    else
      spans.append(span);
  }
  painter.save();
  painter.setWorldTransform(fromDevice * painter.worldTransform());
  painter.setRenderHint(QPainter::Antialiasing, false);
  for (const QRect &span : spans)
    painter.fillRect(span, Qt::black);
  painter.restore();
}

void drawRedaction(QPainter &painter, const Mark &mark) {
  // Always opaque black, whatever the ink: a redaction must hide.
  if (mark.regions) {
    for (const geom::Rect &r : *mark.regions)
      fillCovering(painter, r);
  } else {
    fillCovering(painter, bounds(mark));
  }
}

void drawStep(QPainter &painter, const Mark &mark) {
  const geom::Rect disc = bounds(mark);
  MarkPath oval;
  oval.addOval(disc);
  fillPath(painter, oval, mark.ink.color());
  const TextLayout label(QString::number(mark.number.value_or(1)), stepLabelFont(mark.width));
  const QSizeF size = label.size();
  label.draw(painter, {mark.start.x() - size.width() / 2, mark.start.y() - size.height() / 2},
             stepLabelColor(mark.ink));
}

void drawText(QPainter &painter, const Mark &mark) {
  const TextAttributes attributes = textAttributes(mark);
  const TextLayout layout(mark.text, attributes.font, mark.textBoxWidth);
  layout.draw(painter, mark.start, attributes.color);
}

} // namespace

QColor stepLabelColor(const Ink &ink) {
  // Luma of the stored (non-linear) sRGB components, BT.709 weights.
  const double luma = 0.2126 * ink.red + 0.7152 * ink.green + 0.0722 * ink.blue;
  return luma > 0.6 ? QColor(Qt::black) : QColor(Qt::white);
}

QFont stepLabelFont(double width) {
  const double size = 0.52 * width;
  QFont f(BundledFonts::formalFamily());
  f.setPointSizeF(std::isfinite(size) && size > 0 ? size : 1.0);
  f.setWeight(QFont::Bold);
  f.setHintingPreference(QFont::PreferNoHinting);
  f.setStyleStrategy(QFont::PreferAntialias);
  return f;
}

void draw(QPainter &painter, const Mark &mark) {
  if (mark.tool == MarkTool::blur)
    return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setTransform(rotationTransform(mark), true);
  switch (mark.tool) {
  case MarkTool::highlight: drawHighlight(painter, mark); break;
  case MarkTool::redact: drawRedaction(painter, mark); break;
  case MarkTool::step: drawStep(painter, mark); break;
  case MarkTool::text: drawText(painter, mark); break;
  default: {
    const MarkPath outline = path(mark);
    if (outline.isEmpty())
      break;
    if (fillsPath(mark))
      fillPath(painter, outline, mark.ink.color());
    else
      strokePath(painter, outline, mark.ink.color());
    break;
  }
  }
  painter.restore();
}

} // namespace crel
