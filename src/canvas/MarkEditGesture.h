#pragma once

#include "CanvasGesture.h"

#include "document/Mark.h"
#include "document/MarkHandle.h"

#include <QUuid>

#include <optional>

namespace crel {

class CanvasView;

// Moves an existing mark, or drags one of its handles (resize, rotation).
// Every step starts again from the document's copy of the mark, so the
// canvas's moving copy never drifts; the release commits it once.
class MarkEditGesture : public CanvasGesture {
public:
  // `select`: the release selects the mark (not for a temporary select tool).
  MarkEditGesture(CanvasView &canvas, const Mark &mark, std::optional<MarkHandle> handle, bool select);

  void update(const GestureInput &input) override;
  void release() override;

  // `committed` moved, resized or rotated by the pointer going from
  // `input.anchor` to `input.point`.
  static Mark edited(const Mark &committed, std::optional<MarkHandle> handle, const GestureInput &input);

  // Closer than this to the centre the pointer gives no direction to rotate to.
  static constexpr double rotationDeadZone = 0.001;

private:
  CanvasView &canvas_;
  QUuid id_;
  std::optional<MarkHandle> handle_;
  bool select_;
};

} // namespace crel
