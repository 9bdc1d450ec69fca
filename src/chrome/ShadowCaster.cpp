#include "ShadowCaster.h"

#include "ShadowCache.h"

#include <QPainter>
#include <QWidget>

namespace crel {

void ShadowCaster::paintShadowOf(QPainter &painter, const QWidget &surface, const QWidget &caster) {
  const auto *source = dynamic_cast<const ShadowCaster *>(&caster);
  if (!source || !caster.isVisibleTo(caster.window()))
    return;
  const auto cast = source->castShadow();
  if (!cast)
    return;
  const QWidget *window = caster.window();
  const QPointF origin = surface.mapFrom(window, caster.mapTo(window, QPointF(0, 0)));
  ShadowCache::shared().draw(painter, cast->shape.translated(origin), cast->cornerRadius, cast->shadow);
}

void ShadowCaster::paintChildShadows(QPainter &painter, const QWidget &parent) {
  for (QObject *child : parent.children())
    if (child->isWidgetType() && !static_cast<QWidget *>(child)->isHidden())
      paintShadowOf(painter, parent, *static_cast<QWidget *>(child));
}

void ShadowCaster::shadowChanged(QWidget &self) {
  self.setProperty("chromeShadowRevision", self.property("chromeShadowRevision").toInt() + 1);
  if (QWidget *parent = self.parentWidget())
    parent->update();
}

} // namespace crel
