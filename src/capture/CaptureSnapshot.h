#pragma once

#include "platform/base/Geometry.h"
#include "platform/display/SnapshotProvider.h"

#include <QImage>
#include <QRect>

#include <exception>
#include <functional>
#include <utility>
#include <vector>

namespace crel {

class CropBuffer;

// One display frozen at the start of a capture.
struct CaptureSnapshot {
  quint32 displayID = 0;
  // Global logical coordinates, origin at the top left of the virtual desktop.
  geom::Rect screenFrame;
  // The whole display in native pixels.
  QImage image;
  // Where set, the scale of the display's Wayland output: a point is this
  // many pixels on both axes, as the compositor maps it. Otherwise each axis
  // maps by the image's ratio to the frame.
  double outputScale = 0;

  static CaptureSnapshot fromStill(const DisplayStill &still);

  using Completion = std::function<void(std::vector<CaptureSnapshot> snapshots, std::exception_ptr error)>;
  // Freezes every display through `provider`. `done` runs on `receiver`'s
  // thread with the snapshots (in completion order) or the error: a
  // CrelError for "no display" and "a display changed", the provider's own
  // error otherwise.
  static SnapshotRequest takeDisplays(SnapshotProvider &provider, QObject *receiver, Completion done);

  // The system declined to let us read the screen (tells the permission
  // alert apart from other failures).
  static bool isPermissionError(const std::exception_ptr &error);

  // `rect` in global points to pixels of `image`: clipped to the display,
  // each edge scaled on its own axis and rounded half away from zero, then
  // clamped to the image; the frame's far edges are the image's. Empty when
  // nothing of the display is selected.
  QRect pixelRect(const geom::Rect &rect) const;
  // Pixels of `image` per point, across and down.
  std::pair<double, double> pixelsPerPoint() const;

  // The pixels under `rect` as an image that owns them, in `buffer`'s
  // memory when it has enough ready. Throws CrelError.
  QImage crop(const geom::Rect &rect, CropBuffer *buffer = nullptr) const;
};

} // namespace crel
