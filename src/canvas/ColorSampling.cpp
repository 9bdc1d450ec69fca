#include "ColorSampling.h"

#include "CanvasInteraction.h"

#include "CanvasView.h"
#include "ColorInspection.h"

#include <QEvent>

#include <cmath>

namespace crel {

ColorSampling::ColorSampling(CanvasView &canvas, ColorInspection &inspection)
    : QObject(&canvas), canvas_(canvas), inspection_(inspection) {
  pending_.setSingleShot(true);
  pending_.setInterval(intervalMs);
  connect(&pending_, &QTimer::timeout, this, &ColorSampling::sample);
  canvas.installEventFilter(this);
}

bool ColorSampling::eventFilter(QObject *watched, QEvent *event) {
  if (watched == &canvas_ && (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::Hide))
    hide();
  return false;
}

void ColorSampling::pointerMoved(QPointF viewPoint) {
  location_ = viewPoint;
  schedule();
}

void ColorSampling::schedule() {
  // A pending read takes the latest location when it runs.
  if (pending_.isActive() || !location_)
    return;
  pending_.start();
}

void ColorSampling::documentChanged() {
  sampledPoint_.reset();
  schedule();
}

void ColorSampling::hide() {
  location_.reset();
  sampledPoint_.reset();
  pending_.stop();
  inspection_.show(std::nullopt);
}

void ColorSampling::sample() {
  CrelDocument *document = canvas_.document();
  const CanvasInteraction &input = canvas_.interaction();
  const bool inputBusy = input.panning() || input.copyingColor();
  if (!location_ || !document || canvas_.anchor() || inputBusy || canvas_.editingTextID())
    return;
  const QPointF p = *location_;
  bool onChrome = false;
  for (const geom::Rect &frame : canvas_.chromeFrames())
    onChrome = onChrome || frame.contains(p);
  if (!QRectF(canvas_.rect()).contains(p) || onChrome) {
    sampledPoint_.reset();
    inspection_.show(std::nullopt);
    return;
  }
  const QPointF q = canvas_.point(p);
  const QPoint pixel(int(std::floor(q.x())), int(std::floor(q.y())));
  if (sampledPoint_ == pixel)
    return;
  sampledPoint_ = pixel;
  ++reads_;
  inspection_.show(document->pixelColor(pixel));
}

bool ColorSampling::copyPixelColor(const std::optional<PixelColor> &color) { return color && inspection_.copy(*color); }

} // namespace crel
