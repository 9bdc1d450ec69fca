#include "WordGesture.h"

#include "CanvasView.h"
#include "DraftGesture.h"

#include "document/CrelDocument.h"
#include "platform/Translate.h"

namespace crel {

WordGesture::WordGesture(CanvasView &canvas, std::function<void(QPointF)> step)
    : canvas_(canvas), step_(std::move(step)) {}

void WordGesture::update(const GestureInput &input) {
  if (step_)
    step_(input.point);
}

void WordGesture::release() {
  DraftGesture::commitKept(canvas_);
  CrelDocument *document = canvas_.document();
  if (document && document->selectedWords().isEmpty()) {
    document->setStatus(document->recognitionStatus().isEmpty()
                            ? crel::tr("Choose a word, or switch to Area for manual drawing.")
                            : document->recognitionStatus());
  }
}

} // namespace crel
