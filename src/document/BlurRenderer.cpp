#include "BlurRenderer.h"

#include "MarkGeometry.h"
#include "PatchFilter.h"

#include <QPainter>
#include <QPainterPath>

namespace crel {

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
