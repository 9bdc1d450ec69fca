#include "InspectorGroup.h"

#include "document/CrelDocument.h"
#include "platform/Translate.h"

#include <QPainter>

#include <cmath>

namespace crel {

InspectorGroup::InspectorGroup(CrelDocument &document, const InspectorHooks &hooks, QWidget *parent,
                               AccessibilityOptions *options)
    : ChromeSurface(std::nullopt, parent, options), document_(document),
      wide_(new InspectorWidget(document, false, hooks, this)),
      compact_(new InspectorWidget(document, true, hooks, this)) {
  setObjectName(QStringLiteral("group-inspector"));
  for (InspectorWidget *form : {wide_, compact_})
    connect(form, &InspectorWidget::contentChanged, this, [this] {
      updateGeometry();
      place();
      update(); // a control's shadow may have come or gone
    });
  place();
}

double InspectorGroup::widthOf(const InspectorWidget *form) const { return form->sizeHint().width() + 2 * sidePadding; }

QSizeF InspectorGroup::sizeFor(std::optional<double> width, std::optional<double>) const {
  const double wide = widthOf(wide_);
  return {!width || wide <= *width ? wide : widthOf(compact_), height};
}

QSize InspectorGroup::sizeHint() const { return sizeFor(std::nullopt, std::nullopt).toSize(); }

InspectorWidget *InspectorGroup::current() const { return widthOf(wide_) <= width() ? wide_ : compact_; }

// The controls lie one level down, in the form; their shadows (the copy
// button's) are painted here on the pane, which they overhang.
void InspectorGroup::paintEvent(QPaintEvent *event) {
  ChromeSurface::paintEvent(event);
  QPainter painter(this);
  for (QWidget *child : current()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
    if (child->isVisible() && dynamic_cast<ShadowCaster *>(child))
      ShadowCaster::paintShadowOf(painter, *this, *child);
}

void InspectorGroup::resizeEvent(QResizeEvent *event) {
  ChromeSurface::resizeEvent(event);
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
