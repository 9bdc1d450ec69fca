#include "ChromeSurface.h"

#include "AccessibilityOptions.h"
#include "ChromeSurfacePainter.h"

#include <QPainter>

namespace crel {

ChromeSurface::ChromeSurface(std::optional<double> cornerRadius, QWidget *parent, AccessibilityOptions *options)
    : QWidget(parent), cornerRadius_(cornerRadius), options_(options ? options : &AccessibilityOptions::shared()) {
  connect(options_, &AccessibilityOptions::changed, this, &ChromeSurface::refresh);
  refresh();
}

void ChromeSurface::setPreviewRendering(bool preview) {
  if (preview_ == preview)
    return;
  preview_ = preview;
  refresh();
}

SurfaceVariant ChromeSurface::variant() const {
  return chooseSurfaceVariant(options_ && options_->reduceTransparency(), preview_);
}

SurfaceLook ChromeSurface::look() const { return surfaceLook(variant(), options_ && options_->reduceTransparency()); }

std::optional<ShadowCaster::Cast> ChromeSurface::castShadow() const {
  const SurfaceLook l = look();
  if (!l.shadow)
    return std::nullopt;
  return Cast{rect(), cornerRadius_, *l.shadow};
}

void ChromeSurface::refresh() {
  shadowChanged(*this);
  update();
}

void ChromeSurface::moveEvent(QMoveEvent *) { shadowChanged(*this); }
void ChromeSurface::resizeEvent(QResizeEvent *) { shadowChanged(*this); }

void ChromeSurface::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  const SurfaceLook l = look();
  ChromeSurfacePainter::paintFill(painter, rect(), cornerRadius_, l);
  ChromeSurfacePainter::paintStrokes(painter, rect(), cornerRadius_, l);
  paintChildShadows(painter, *this);
}

} // namespace crel
