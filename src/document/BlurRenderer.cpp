#include "BlurRenderer.h"

#include "MarkGeometry.h"
#include "PatchFilter.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace crel {

namespace {

// The device pixels a blur mark's patch replaces whole: those wholly inside
// its one unrotated rectangle. Empty for anything else.
QRect replacedArea(const QTransform &toDevice, const Mark &mark) {
  if (mark.tool != MarkTool::blur || !rotationTransform(mark).isIdentity() || toDevice.type() > QTransform::TxScale ||
      (mark.regions && mark.regions->size() != 1))
    return {};
  const geom::Rect region = mark.regions ? mark.regions->first() : bounds(mark);
  if (region.isEmpty())
    return {};
  const QRectF r = toDevice.mapRect(region.standardized().toQRectF());
  constexpr double noise = 1e-7;
  const double left = std::ceil(r.left() - noise), top = std::ceil(r.top() - noise);
  const double right = std::floor(r.right() + noise), bottom = std::floor(r.bottom() + noise);
  constexpr double far = 1e9; // beyond any device, and within int
  if (!(left < right && top < bottom && left > -far && top > -far && right < far && bottom < far))
    return {};
  return {QPoint(int(left), int(top)), QSize(int(right - left), int(bottom - top))};
}

} // namespace

QList<bool> BlurRenderer::hiddenMarks(const QPainter &painter, const QList<Mark> &marks) {
  QList<bool> hidden(marks.size(), false);
  const QTransform toDevice = painter.deviceTransform();
  const std::optional<QRectF> clip =
      painter.hasClipping() ? std::optional(toDevice.mapRect(painter.clipBoundingRect())) : std::nullopt;
  QList<QRect> replaced;
  for (qsizetype i = marks.size() - 1; i >= 0; --i) {
    const geom::Rect visual = visualBounds(marks[i]);
    if (!visual.isNull()) {
      // A blur paints only within its regions; strokes and text get a few
      // device pixels of room for antialiased edges and overhanging glyphs.
      const double room = marks[i].tool == MarkTool::blur ? 0 : 4;
      const QRectF painted = toDevice.mapRect(visual.toQRectF()).adjusted(-room, -room, room, room);
      hidden[i] =
          (clip && !clip->intersects(painted)) || std::any_of(replaced.begin(), replaced.end(), [&](const QRect &r) {
            return painted.left() >= r.left() && painted.top() >= r.top() && painted.right() <= r.left() + r.width() &&
                   painted.bottom() <= r.top() + r.height();
          });
    }
    if (!hidden[i]) {
      const QRect area = replacedArea(toDevice, marks[i]);
      if (!area.isEmpty())
        replaced.append(area);
    }
  }
  return hidden;
}

void BlurRenderer::draw(QPainter &painter, const Mark &mark, const QList<Mark> &preceding,
                        const DrawUnderlying &underlying) {
  QList<geom::Rect> regions;
  for (const geom::Rect &r : mark.regions ? *mark.regions : QList<geom::Rect>{bounds(mark)})
    if (!r.isEmpty())
      regions.append(r);
  if (regions.isEmpty())
    return;

  const QTransform rotation = rotationTransform(mark);
  geom::Rect unionRect;
  QPainterPath clip;
  clip.setFillRule(Qt::WindingFill);
  for (const geom::Rect &r : regions) {
    unionRect = unionRect.united(r.applying(rotation));
    clip.addPolygon(rotation.map(QPolygonF(r.toQRectF())));
    clip.closeSubpath();
  }
  const geom::Rect u = unionRect.integral();
  const QRect patchRect(int(u.minX()), int(u.minY()), int(u.width()), int(u.height()));
  const double s = PatchFilter::strength(mark.blurStrength);
  const BlurEffect effect = mark.blurEffect.value_or(BlurEffect::blur);

  std::optional<BlurCache::Patch> patch;
  const std::optional<QByteArray> key = BlurCache::key(mark, preceding);
  if (key)
    patch = cache_.find(*key, mark.id);
  if (!patch) {
    const QRect area = PatchFilter::workingArea(patchRect, s);
    if (PatchFilter::workingAreaFits(area)) {
      QImage working(area.size(), QImage::Format_ARGB32_Premultiplied);
      if (!working.isNull()) {
        working.fill(Qt::transparent);
        {
          QPainter p(&working);
          p.translate(-area.topLeft());
          underlying(p, geom::Rect::fromQRectF(QRectF(area)));
        }
        QImage filtered = PatchFilter::filter(working, area, patchRect, effect, s);
        if (!filtered.isNull()) {
          patch = BlurCache::Patch{filtered, patchRect};
          if (key)
            cache_.insert(*key, mark.id, *patch);
        }
      }
    }
  }

  painter.save();
  painter.setClipPath(clip, Qt::IntersectClip);
  if (patch) {
    // Source: the patch replaces what is beneath, as opaque as it is.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, effect != BlurEffect::pixelate);
    painter.drawImage(QRectF(patch->rect), patch->image);
  } else {
    painter.fillRect(u.toQRectF(), Qt::black);
  }
  painter.restore();
}

} // namespace crel
