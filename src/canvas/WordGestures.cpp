#include "WordGestures.h"

#include "CanvasView.h"

#include "document/CrelDocument.h"
#include "platform/base/Translate.h"

namespace crel {

WordGestures::WordGestures(CanvasView &canvas) : QObject(&canvas), canvas_(canvas) {
  if (CrelDocument *document = canvas.document()) {
    // Hover asks for the available words on every move; they only change
    // with the marks (redactions hide words) or a new recognition.
    const auto invalidate = [this] { available_.reset(); };
    connect(document, &CrelDocument::marksChanged, this, invalidate);
    connect(document, &CrelDocument::recognizedTextChanged, this, invalidate);
  }
}

bool WordGestures::isWordTool(const CrelDocument &document) {
  switch (document.tool()) {
  case MarkTool::extract: return true;
  case MarkTool::highlight: return document.highlightMode() == HighlightMode::text;
  case MarkTool::redact: return document.redactMode() == HighlightMode::text;
  case MarkTool::blur: return document.blurMode() == HighlightMode::text;
  default: return false;
  }
}

const RecognizedText &WordGestures::availableText() {
  if (!available_)
    available_ = canvas_.document() ? canvas_.document()->availableText() : RecognizedText{};
  return *available_;
}

void WordGestures::drag(QPointF p) { update(p); }

void WordGestures::release(QPointF p) {
  CrelDocument *document = canvas_.document();
  // Escape already cancelled the gesture: its release adds and says nothing.
  if (!document || !canvas_.anchor())
    return;
  update(p);
  if (const std::optional<Mark> draft = canvas_.draft(); draft && draft->regions && !draft->regions->isEmpty()) {
    canvas_.setDraft(std::nullopt);
    document->commit(document->marks() + QList<Mark>{*draft});
    document->selectMark(*draft, true);
  } else {
    canvas_.setDraft(std::nullopt);
  }
  if (document->selectedWords().isEmpty()) {
    const QString &recognition = document->recognitionStatus();
    document->setStatus(recognition.isEmpty() ? crel::tr("Choose a word, or switch to Area for manual drawing.")
                                              : recognition);
  }
}

void WordGestures::update(QPointF p) {
  CrelDocument *document = canvas_.document();
  const std::optional<QPointF> anchor = canvas_.anchor();
  if (!document || !anchor)
    return;
  const QList<RecognizedWord> words = availableText().selection(*anchor, p);
  document->setSelectedWords(words);
  if (document->tool() == MarkTool::extract) {
    canvas_.update();
    return;
  }
  if (words.isEmpty()) {
    canvas_.setDraft(std::nullopt);
    return;
  }
  const std::optional<Mark> &running = canvas_.draft();
  canvas_.setDraft(wordMark(words, *anchor, p, running ? running->id : QUuid::createUuid()));
}

Mark WordGestures::wordMark(const QList<RecognizedWord> &words, QPointF anchor, QPointF p, const QUuid &id) const {
  const CrelDocument &document = *canvas_.document();
  Mark m;
  m.id = id;
  m.tool = document.tool();
  m.start = anchor;
  m.end = p;
  m.ink = document.ink();
  m.width = document.stroke();
  m.arrowHeadScale = 1;
  m.fontSize = 40;
  m.textBoxWidth = 320;
  m.style = AnnotationStyle::formal;
  m.highlightMode = HighlightMode::text;
  m.regions = RecognizedText::rectangles(words);
  m.opacity = document.highlightOpacity();
  m.highlightDarkRegions = darkRegions(*m.regions);
  if (m.tool == MarkTool::blur) {
    m.blurEffect = document.blurEffect();
    m.blurStrength = document.blurStrength();
  }
  return m;
}

QList<bool> WordGestures::darkRegions(const QList<geom::Rect> &regions) const {
  QList<bool> dark;
  dark.reserve(regions.size());
  for (const geom::Rect &r : regions)
    dark.append(canvas_.document()->darkBackground(r));
  return dark;
}

void WordGestures::hover(QPointF viewPoint, bool spaceHeld) {
  CrelDocument *document = canvas_.document();
  if (!document)
    return;
  for (const geom::Rect &frame : canvas_.chromeFrames()) {
    if (frame.contains(viewPoint)) {
      canvas_.setHoverWord(std::nullopt);
      canvas_.setCursor(Qt::ArrowCursor);
      return;
    }
  }
  std::optional<RecognizedWord> word;
  if (isWordTool(*document))
    word = availableText().wordAt(canvas_.point(viewPoint), hoverTolerance);
  if (spaceHeld)
    canvas_.setCursor(Qt::OpenHandCursor);
  else if (word)
    canvas_.setCursor(Qt::IBeamCursor);
  else
    canvas_.setCursor(document->tool() == MarkTool::select ? Qt::ArrowCursor : Qt::CrossCursor);
  canvas_.setHoverWord(word);
}

void WordGestures::leave() {
  canvas_.setHoverWord(std::nullopt);
  canvas_.setCursor(Qt::ArrowCursor);
}

} // namespace crel
