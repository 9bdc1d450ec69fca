#include "HistoryGroup.h"

#include "EditorView.h"

#include "chrome/ChromeIconButton.h"
#include "chrome/ShortcutText.h"
#include "document/CrelDocument.h"
#include "platform/base/Translate.h"

namespace crel {

HistoryGroup::HistoryGroup(EditorView &view)
    : BarGroup(QStringLiteral("group-history"), crel::tr("History"), {72}, &view) {
  const auto hint = [](const char *title, const char *shortcut) {
    return ChromeHint{crel::tr(title), ShortcutText::forLinux(QString::fromUtf8(shortcut)), ChromeHint::Edge::bottom};
  };
  undo_ = new ChromeIconButton(QStringLiteral("arrow.uturn.backward"), QStringLiteral("undo"), hint("Undo", "\u2318Z"),
                               &view.hints(), this);
  redo_ = new ChromeIconButton(QStringLiteral("arrow.uturn.forward"), QStringLiteral("redo"),
                               hint("Redo", "\u21E7\u2318Z"), &view.hints(), this);
  undo_->setObjectName(QStringLiteral("undo"));
  redo_->setObjectName(QStringLiteral("redo"));
  CrelDocument &document = view.document();
  connect(undo_, &QAbstractButton::clicked, this, [&view, &document] {
    document.undo();
    view.focusCanvas();
  });
  connect(redo_, &QAbstractButton::clicked, this, [&view, &document] {
    document.redo();
    view.focusCanvas();
  });
  setCandidateWidths({rowWidth({undo_, redo_}, 0)});
}

void HistoryGroup::refresh(const CrelDocument &document) {
  undo_->setEnabled(document.canUndo());
  redo_->setEnabled(!document.future().isEmpty());
}

void HistoryGroup::resizeEvent(QResizeEvent *event) {
  BarGroup::resizeEvent(event);
  placeRow({undo_, redo_}, 0);
}

} // namespace crel
