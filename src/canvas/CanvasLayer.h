#pragma once

#include "document/Mark.h"
#include "platform/base/Geometry.h"

#include <QImage>
#include <QList>
#include <QSize>

#include <functional>
#include <optional>

namespace crel {

// What the canvas paints beneath the marks that change from frame to frame
// (paper, surface and the marks beneath a gesture; all of them outside one),
// painted at device resolution and kept while its key holds. It reaches a
// margin beyond the view on every side, so that panning by whole device
// pixels shows pixels already painted; a pan past the margin shifts them
// and paints only the strips it uncovers.
class CanvasLayer {
public:
  struct Key {
    QSize viewSize;
    double devicePixelRatio = 1;
    geom::Rect imageRect;
    geom::Rect canvasRect;
    QList<Mark> marks;
    friend bool operator==(const Key &, const Key &) = default;
  };
  // Paints the layer's content for the key just given, in view points; the
  // painter may be clipped to the part that needs it.
  using Paint = std::function<void(QPainter &)>;

  // Device pixels painted beyond the view on each side.
  static constexpr int margin = 256;

  // The view's part of the layer for `key` (valid until the next update),
  // painting only what it has to.
  QImage update(const Key &key, const Paint &paint);
  // Changes whenever the view's part does.
  int generation() const { return generation_; }
  // Drops the pixels; the next update paints them afresh. False when none
  // were kept.
  bool release();

private:
  std::optional<Key> key_; // as last painted
  QImage image_;
  QPoint offset_; // device pixels the content moved since it was painted
  int generation_ = 0;
};

} // namespace crel
