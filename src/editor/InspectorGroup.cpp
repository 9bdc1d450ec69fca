#include "InspectorGroup.h"

#include "document/CrelDocument.h"
#include "platform/base/Translate.h"

#include "chrome/Motion.h"

#include <QGraphicsOpacityEffect>
#include <QPainter>

#include <algorithm>

#include <cmath>

namespace crel {

namespace {
constexpr double springResponse = 0.2, springDamping = 0.85;
} // namespace

InspectorGroup::InspectorGroup(CrelDocument &document, const InspectorHooks &hooks, QWidget *parent)
    : BarGroup(QStringLiteral("group-inspector"), QString(), {0}, parent), document_(document),
      wide_(new InspectorWidget(document, false, hooks, this)),
      compact_(new InspectorWidget(document, true, hooks, this)) {
  for (InspectorWidget *form : {wide_, compact_})
    connect(form, &InspectorWidget::contentChanged, this, &InspectorGroup::contentChanged);
  connect(&spring_, &AnimatedValue::changed, this, [this] {
    if (auto *fade = qobject_cast<QGraphicsOpacityEffect *>(current()->graphicsEffect()))
      fade->setOpacity(std::clamp(spring_.value(), 0.0, 1.0));
    updateGeometry();
  });
  connect(&spring_, &AnimatedValue::settled, this, [this] {
    for (InspectorWidget *form : {wide_, compact_})
      form->setGraphicsEffect(nullptr); // resting forms paint directly
    updateGeometry();
  });
  contentChanged();
}

QSizeF InspectorGroup::sizeFor(std::optional<double> width, std::optional<double> height) const {
  const QSizeF settled = BarGroup::sizeFor(width, height);
  if (width)
    settledWidth_ = settled.width();
  if (!spring_.isMoving())
    return settled;
  return {springFrom_ + (settled.width() - springFrom_) * spring_.value(), settled.height()};
}

double InspectorGroup::widthOf(const InspectorWidget *form) const { return form->sizeHint().width() + 2 * sidePadding; }

// While springing, the form of the width it settles at.
InspectorWidget *InspectorGroup::current() const {
  const double width = spring_.isMoving() && settledWidth_ ? *settledWidth_ : QWidget::width();
  return widthOf(wide_) <= width ? wide_ : compact_;
}

void InspectorGroup::refresh(const CrelDocument &document) {
  wide_->refresh();
  compact_->refresh();
  const MarkTool tool = document.activeTool();
  const bool changed = shownTool_ && *shownTool_ != tool;
  shownTool_ = tool;
  if (!changed || !isVisible() || !Motion::enabled())
    return;
  springFrom_ = QWidget::width();
  spring_.jumpTo(0);
  spring_.springTo(1, springResponse, springDamping);
  auto *fade = new QGraphicsOpacityEffect;
  fade->setOpacity(0);
  current()->setGraphicsEffect(fade);
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
    // Centred: the side padding once settled; while the capsule springs,
    // the content shows from the middle out.
    form->setGeometry(int(std::lround((QWidget::width() - hint.width()) / 2.0)),
                      int(std::lround((QWidget::height() - hint.height()) / 2.0)), hint.width(), hint.height());
  }
}

} // namespace crel
