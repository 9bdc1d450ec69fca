#include "DraftGesture.h"

#include "CanvasView.h"
#include "GestureGeometry.h"

#include "document/CrelDocument.h"

#include <cmath>

namespace crel {

namespace {

bool freehand(const Mark &mark) {
  return mark.tool == MarkTool::pen ||
         (mark.tool == MarkTool::highlight && mark.highlightMode == HighlightMode::marker);
}

} // namespace

DraftGesture::DraftGesture(CanvasView &canvas, QPointF point) : canvas_(canvas) {
  if (canvas.document())
    canvas.setDraft(newMark(*canvas.document(), point));
}

Mark DraftGesture::newMark(const CrelDocument &document, QPointF point) {
  const MarkTool tool = document.tool();
  Mark m;
  m.id = QUuid::createUuid();
  m.tool = tool;
  m.start = point;
  m.end = point;
  m.ink = document.ink();
  m.width = document.stroke();
  m.arrowHeadScale = document.arrowHeadScale();
  m.style = document.annotationStyle();
  m.fontSize = newFontSize;
  m.textBoxWidth = newTextBoxWidth;
  if (tool == MarkTool::highlight) {
    m.highlightMode = document.highlightMode();
    m.opacity = document.highlightOpacity();
    // The renderer picks its blend from whether the press lay on a dark background.
    m.highlightDarkRegions = QList<bool>{document.darkBackground(geom::Rect(point.x() - 8, point.y() - 8, 16, 16))};
  }
  if (freehand(m))
    m.points = {point};
  if (tool == MarkTool::step)
    m.number = document.nextStep();
  if (tool == MarkTool::blur) {
    m.blurEffect = document.blurEffect();
    m.blurStrength = document.blurStrength();
  }
  return m;
}

Mark DraftGesture::shaped(const Mark &draft, const GestureInput &input) {
  using namespace GestureGeometry;
  const QPointF a = input.anchor, r = input.point;
  QPointF e = r;
  if (input.shift) {
    if (draft.tool == MarkTool::highlight && draft.highlightMode != HighlightMode::area)
      e = axisLocked(a, r);
    else if (draft.tool == MarkTool::arrow || draft.tool == MarkTool::line || draft.tool == MarkTool::pen)
      e = directionSnapped(a, r);
    else
      e = squared(a, r);
  }
  Mark m = draft;
  m.end = e;
  m.constrained = input.shift;
  if (freehand(m))
    m.points = input.shift ? QList<QPointF>{a, e} : input.samples;
  return m;
}

bool DraftGesture::kept(const Mark &draft) {
  return draft.tool == MarkTool::step || (draft.regions && !draft.regions->isEmpty()) ||
         std::hypot(draft.end.x() - draft.start.x(), draft.end.y() - draft.start.y()) > 1 || draft.points.size() >= 3;
}

void DraftGesture::commitKept(CanvasView &canvas) {
  CrelDocument *document = canvas.document();
  const std::optional<Mark> draft = canvas.draft();
  if (!document || !draft || !kept(*draft))
    return;
  document->commit(document->marks() + QList<Mark>{*draft});
  document->selectMark(*draft, true);
}

void DraftGesture::update(const GestureInput &input) {
  if (canvas_.draft())
    canvas_.setDraft(shaped(*canvas_.draft(), input));
}

void DraftGesture::release() { commitKept(canvas_); }

} // namespace crel
