#include "WindowSizing.h"

#include <algorithm>

namespace crel::WindowSizing {

QRect resizedFrame(const QRect &oldFrame, QSize decorations, QSize content, const std::optional<QRect> &visible) {
  int w = content.width() + decorations.width(), h = content.height() + decorations.height();
  // Integer centre arithmetic: the old centre moves by at most half a point.
  const int centreTwice = 2 * oldFrame.x() + oldFrame.width();
  if (!visible)
    return {(centreTwice - w) / 2, oldFrame.y(), w, h};
  const QRect &v = *visible;
  w = std::min(w, v.width());
  h = std::min(h, v.height());
  // No larger than `visible`, so both edges of each clamp hold at once.
  const int x = std::max(std::min((centreTwice - w) / 2, v.x() + v.width() - w), v.x());
  const int y = std::max(std::min(oldFrame.y(), v.y() + v.height() - h), v.y());
  return {x, y, w, h};
}

QRect centredFrame(const QRect &frame, const QRect &visible) {
  QRect centred = frame;
  centred.moveTo(visible.x() + (visible.width() - frame.width()) / 2,
                 std::max(visible.y(), visible.y() + (visible.height() - frame.height()) / 2));
  return centred;
}

} // namespace crel::WindowSizing
