#include "MarkEditGesture.h"

#include "CanvasView.h"
#include "GestureGeometry.h"

#include "document/CrelDocument.h"
#include "document/EditingGeometry.h"
#include "document/MarkGeometry.h"

#include <algorithm>
#include <cmath>

namespace crel {

namespace {

const Mark *findMark(const QList<Mark> &marks, const QUuid &id) {
  auto it = std::find_if(marks.begin(), marks.end(), [&](const Mark &m) { return m.id == id; });
  return it == marks.end() ? nullptr : &*it;
}

double angleOf(QPointF v) { return std::atan2(v.y(), v.x()); }

} // namespace

MarkEditGesture::MarkEditGesture(CanvasView &canvas, const Mark &mark, std::optional<MarkHandle> handle, bool select)
    : canvas_(canvas), id_(mark.id), handle_(handle), select_(select) {
  canvas.setResizingHandle(handle);
  canvas.setMoving(mark);
}

Mark MarkEditGesture::edited(const Mark &o, std::optional<MarkHandle> handle, const GestureInput &input) {
  using namespace GestureGeometry;
  const QPointF a = input.anchor, r = input.point;
  if (!handle) {
    const QPointF t = input.shift ? axisLocked(a, r) : r;
    return moved(o, t.x() - a.x(), t.y() - a.y());
  }
  if (*handle == MarkHandle::rotation) {
    const QPointF c = bounds(o).center();
    if (std::hypot(r.x() - c.x(), r.y() - c.y()) <= rotationDeadZone)
      return o;
    const double base = o.rotation && std::isfinite(*o.rotation) ? *o.rotation : 0;
    double angle = base + angleOf(r - c) - angleOf(a - c);
    if (input.shift)
      angle = snappedAngle(angle, rotationStep);
    return rotated(o, angle);
  }
  const QTransform t = rotationTransform(o);
  const QPointF f = EditingGeometry::opposite(*handle, o);
  QPointF q = t.inverted().map(r);
  const bool lineEnd = *handle == MarkHandle::start || *handle == MarkHandle::end;
  if (input.shift) {
    if (lineEnd) {
      q = directionSnapped(f, q);
    } else {
      const geom::Rect b = bounds(o);
      q = EditingGeometry::proportional(q, f, b.width() / std::max(b.height(), 1.0));
    }
  }
  Mark m = resized(o, *handle, t.map(q));
  if (lineEnd)
    m.constrained = input.shift;
  return m;
}

void MarkEditGesture::update(const GestureInput &input) {
  const CrelDocument *document = canvas_.document();
  const Mark *committed = document ? findMark(document->marks(), id_) : nullptr;
  if (!committed) {
    // The mark left the document during the drag (deleted, undone): there is
    // nothing left to edit or to select.
    if (canvas_.moving())
      canvas_.setMoving(std::nullopt);
    return;
  }
  canvas_.setMoving(edited(*committed, handle_, input));
}

void MarkEditGesture::release() {
  CrelDocument *document = canvas_.document();
  const std::optional<Mark> moving = canvas_.moving();
  if (!document || !moving || !findMark(document->marks(), moving->id))
    return;
  QList<Mark> marks = document->marks();
  for (Mark &m : marks) {
    if (m.id == moving->id) {
      m = *moving;
      break;
    }
  }
  document->commit(marks);
  if (select_)
    document->selectMark(*moving, false);
}

} // namespace crel
