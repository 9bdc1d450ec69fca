#include "InspectorGroup.h"

#include "document/CrelDocument.h"
#include "platform/Translate.h"

#include <QPainter>

#include <cmath>

namespace crel {

InspectorGroup::InspectorGroup(CrelDocument &document, const InspectorHooks &hooks, QWidget *parent)
    : BarGroup(QStringLiteral("group-inspector"), QString(), {0}, parent), document_(document),
      wide_(new InspectorWidget(document, false, hooks, this)),
      compact_(new InspectorWidget(document, true, hooks, this)) {
  for (InspectorWidget *form : {wide_, compact_})
    connect(form, &InspectorWidget::contentChanged, this, &InspectorGroup::contentChanged);
  contentChanged();
}

double InspectorGroup::widthOf(const InspectorWidget *form) const { return form->sizeHint().width() + 2 * sidePadding; }

InspectorWidget *InspectorGroup::current() const { return widthOf(wide_) <= width() ? wide_ : compact_; }

void InspectorGroup::refresh(const CrelDocument &) {
  wide_->refresh();
  compact_->refresh();
}

void InspectorGroup::contentChanged() {
  setCandidateWidths({widthOf(wide_), widthOf(compact_)});
  place();
  update(); // a control's shadow may have come or gone
}

// The controls lie one level down, in the form; their shadows (the copy
// button's) are painted here on the pane, which they overhang.
void InspectorGroup::paintEvent(QPaintEvent *event) {
  BarGroup::paintEvent(event);
  QPainter painter(this);
  for (QWidget *child : current()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
    if (child->isVisible() && dynamic_cast<ShadowCaster *>(child))
      ShadowCaster::paintShadowOf(painter, *this, *child);
}

void InspectorGroup::resizeEvent(QResizeEvent *event) {
  BarGroup::resizeEvent(event);
  place();
}

void InspectorGroup::place() {
  setAccessibleName(tr("%1 options").arg(label(document_.activeTool())));
  InspectorWidget *shown = current();
  for (InspectorWidget *form : {wide_, compact_}) {
    form->setVisible(form == shown);
    const QSize hint = form->sizeHint();
    form->setGeometry(int(sidePadding), int(std::lround((QWidget::height() - hint.height()) / 2.0)), hint.width(),
                      hint.height());
  }
}

} // namespace crel
