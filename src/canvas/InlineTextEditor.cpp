#include "InlineTextEditor.h"

#include "CanvasView.h"
#include "InlineTextView.h"

#include "document/CrelDocument.h"
#include "document/MarkGeometry.h"
#include "platform/base/Translate.h"

#include <algorithm>

namespace crel {

InlineTextEditor::InlineTextEditor(CanvasView &canvas) : QObject(&canvas), canvas_(canvas) {}

InlineTextEditor::~InlineTextEditor() = default;

bool InlineTextEditor::isOpen() const { return view_ != nullptr; }
InlineTextView *InlineTextEditor::view() const { return view_; }

QString InlineTextEditor::typingStatus() {
  return crel::tr("Type on the image. Return finishes; Shift+Return adds a line; Esc cancels.");
}

void InlineTextEditor::begin(QPointF point, const std::optional<Mark> &editing) {
  finish(false);
  CrelDocument *document = canvas_.document();
  if (!document)
    return;
  // A colour still settling closes as its own step: the typing gets a
  // bracket of its own that no late settle can close.
  document->beginEditing(this);

  Mark m;
  if (editing) {
    m = *editing;
  } else {
    m.id = QUuid::createUuid();
    m.tool = MarkTool::text;
    m.start = point;
    m.end = point;
    m.ink = document->ink();
    m.width = document->stroke();
    m.arrowHeadScale = 1;
    m.fontSize = document->fontSize();
    m.textBoxWidth = 320;
    m.style = document->annotationStyle();
  }
  canvas_.setEditingTextID(m.id);
  if (!editing)
    document->commit(document->marks() + QList<Mark>{m});
  document->selectMark(m, false);
  document->setTool(MarkTool::text);

  auto *view = new InlineTextView(&canvas_);
  view->setText(m.text);
  view->onFinish = [editor = QPointer<InlineTextEditor>(this)](bool cancel) {
    if (editor)
      editor->finish(cancel);
  };
  connect(view, &InlineTextView::textChanged, this, &InlineTextEditor::textDidChange);
  view_ = view;
  updatePlacement();
  view->show();
  view->setFocus(Qt::OtherFocusReason);

  document->setStatus(typingStatus());
  // No pointer gesture continues; the frozen placement stays while typing.
  canvas_.endGesture();
}

void InlineTextEditor::updatePlacement() {
  CrelDocument *document = canvas_.document();
  const std::optional<QUuid> id = canvas_.editingTextID();
  if (!view_ || !document || !id)
    return;
  const QList<Mark> &marks = document->marks();
  const auto it = std::find_if(marks.begin(), marks.end(), [&](const Mark &m) { return m.id == *id; });
  if (it == marks.end())
    return;
  const geom::Rect r = canvas_.imageRect();
  const double s = canvas_.scale();
  QTransform imageToCanvas;
  imageToCanvas.translate(r.minX(), r.minY());
  imageToCanvas.scale(s, s);
  view_->setPresentation(*it, imageToCanvas);
}

void InlineTextEditor::textDidChange() {
  CrelDocument *document = canvas_.document();
  const std::optional<QUuid> id = canvas_.editingTextID();
  if (!view_ || !document || !id)
    return;
  QList<Mark> marks = document->marks();
  for (Mark &m : marks) {
    if (m.id != *id)
      continue;
    Mark n = m;
    n.text = view_->text();
    // The rotation centre moves with the box; keep the start corner still on screen.
    const QPointF before = rotationTransform(m).map(m.start);
    const QPointF after = rotationTransform(n).map(n.start);
    m = moved(n, before.x() - after.x(), before.y() - after.y());
    break;
  }
  document->commit(marks);
  updatePlacement();
}

void InlineTextEditor::finish(bool cancel) {
  CrelDocument *document = canvas_.document();
  const std::optional<QUuid> id = canvas_.editingTextID();
  if (!view_ || !id)
    return;
  if (document && !cancel) {
    textDidChange();
    if (view_->text().trimmed().isEmpty()) {
      QList<Mark> kept = document->marks();
      kept.removeIf([&](const Mark &m) { return m.id == *id; });
      document->commit(kept);
    }
  }
  InlineTextView *view = view_;
  view_ = nullptr;
  canvas_.setEditingTextID(std::nullopt);
  view->onFinish = nullptr;
  disconnect(view, nullptr, this, nullptr);
  const bool hadFocus = view->hasFocus();
  view->hide();
  if (hadFocus)
    canvas_.setFocus(Qt::OtherFocusReason);
  // The view may be the one reporting this key press.
  view->deleteLater();
  if (document)
    document->endEditing(cancel, this);
  canvas_.releaseInteractionImageRect();
  if (document && document->selection() && !document->selectedMark())
    document->setSelection(std::nullopt);
  canvas_.update();
}

} // namespace crel
