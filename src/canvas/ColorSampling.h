#pragma once

#include "document/PixelColor.h"

#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QTimer>

#include <optional>

namespace crel {

class CanvasView;
class ColorInspection;

// The canvas side of colour inspection: follows the pointer and reads the
// flattened pixel under it through the document's painting path, at most
// once per frame of 1/30 s and never twice for the same pixel. Sampling
// pauses (the readout keeps what it shows) during a gesture, a pan, inline
// text editing and an Alt-click copy. The readout hides when the canvas's
// window stops being the active one or the canvas is hidden.
class ColorSampling : public QObject {
  Q_OBJECT
public:
  static constexpr int intervalMs = 33;

  ColorSampling(CanvasView &canvas, ColorInspection &inspection);

  // Pointer moved to `viewPoint` (hover or release): samples there soon.
  void pointerMoved(QPointF viewPoint);
  // Samples the last pointer position soon; one pending read at most.
  void schedule();
  // The document changed under a still pointer: read its pixel again.
  void documentChanged();
  // Forgets the pointer and hides the readout (press, leave, lost focus).
  void hide();

  // The context menu's colour item: copies `color` when there is one.
  bool copyPixelColor(const std::optional<PixelColor> &color);

  // How many pixels have been read; tests watch the throttle with it.
  int readCount() const { return reads_; }
  // A read is due: tests wait on this instead of for a fixed time.
  bool pending() const { return pending_.isActive(); }
  std::optional<QPointF> location() const { return location_; }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void sample();

  CanvasView &canvas_;
  ColorInspection &inspection_;
  std::optional<QPointF> location_;
  std::optional<QPoint> sampledPoint_;
  QTimer pending_;
  int reads_ = 0;
};

} // namespace crel
