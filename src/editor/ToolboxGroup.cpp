#include "ToolboxGroup.h"

#include "EditorView.h"

#include "chrome/AnimatedValue.h"
#include "chrome/ChromeButton.h"
#include "chrome/ChromeColors.h"
#include "chrome/ChromeDivider.h"
#include "chrome/ChromeShape.h"
#include "chrome/HintController.h"
#include "chrome/Motion.h"
#include "chrome/Symbols.h"
#include "document/CrelDocument.h"
#include "platform/base/Translate.h"

#include <QPainter>

#include <cmath>

namespace crel {

namespace {

// A damped spring of response 0.22 s and damping fraction 0.85, as the
// progress 0...1 of an animation that lasts `springSeconds`.
constexpr double springResponse = 0.22, springDamping = 0.85, springSeconds = 0.5;

qreal spring(qreal progress) {
  return progress >= 1 ? 1 : Motion::spring(progress * springSeconds, springResponse, springDamping);
}

class ToolButton : public ChromeButton {
public:
  ToolButton(MarkTool tool, HintController &hints, QWidget *parent) : ChromeButton(parent) {
    const QString raw = rawValue(tool), letter = crel::shortcut(tool).toUpper();
    setObjectName(QStringLiteral("tool-") + raw);
    setFixedSize(32, 32);
    setCornerRadius(9);
    setDrawsSelection(false); // the toolbox draws the sliding highlight
    setAccessibleName(crel::tr("%1, shortcut %2").arg(label(tool), letter));
    setAccessibleDescription(hint(tool));
    // Assistive tools read the shortcut as the button's help; the chrome's
    // own hint shows it on hover, so no Qt tooltip is set.
    setWhatsThis(QStringLiteral("%1 (%2)").arg(label(tool), letter));
    setContentPainter([name = symbol(tool)](QPainter &painter, const QRectF &rect, const QColor &color) {
      Symbols::paint(painter, name, rect, 14.5, QFont::Medium, color);
    });
    hints.attach(this, objectName(), ChromeHint{label(tool), letter, ChromeHint::Edge::bottom});
  }
  QSize sizeHint() const override { return {32, 32}; }
};

} // namespace

const std::array<QList<MarkTool>, 5> &ToolboxGroup::toolGroups() {
  using enum MarkTool;
  static const std::array<QList<MarkTool>, 5> groups{
      {{select}, {arrow, line, pen}, {rectangle, ellipse, triangle}, {text, step, highlight}, {blur, redact, extract}}};
  return groups;
}

ToolboxGroup::ToolboxGroup(EditorView &view)
    : BarGroup(QStringLiteral("group-tools"), crel::tr("Tools"), {476}, &view) {
  buttons_.resize(int(allCases<MarkTool>().size()));
  for (const QList<MarkTool> &group : toolGroups()) {
    if (!row_.isEmpty()) {
      auto *divider = new ChromeDivider(this);
      divider->setObjectName(QStringLiteral("tool-divider"));
      row_.append(divider);
    }
    for (MarkTool tool : group) {
      auto *button = new ToolButton(tool, view.hints(), this);
      connect(button, &QAbstractButton::clicked, this, [&view, tool] {
        view.document().selectTool(tool);
        view.focusCanvas();
      });
      buttons_[int(tool)] = button;
      row_.append(button);
    }
  }
  setCandidateWidths({rowWidth(row_, 1)});
  QEasingCurve curve;
  curve.setCustomType(spring);
  slide_.setEasingCurve(curve);
  slide_.setDuration(int(springSeconds * 1000));
  connect(&slide_, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
}

ChromeButton *ToolboxGroup::button(MarkTool tool) const { return buttons_.value(int(tool)); }

void ToolboxGroup::refresh(const CrelDocument &document) {
  const MarkTool tool = document.tool();
  for (MarkTool t : allCases<MarkTool>())
    button(t)->setSelected(t == tool);
  if (shown_ == tool)
    return;
  const bool animated = shown_.has_value();
  shown_ = tool;
  moveHighlight(animated);
}

void ToolboxGroup::moveHighlight(bool animated) {
  if (!shown_)
    return;
  const QRectF target = button(*shown_)->geometry();
  const QRectF from = slide_.currentValue().toRectF();
  slide_.stop();
  if (animated && Motion::enabled() && !from.isEmpty() && isVisible()) {
    slide_.setStartValue(from);
    slide_.setEndValue(target);
    slide_.start();
  } else {
    slide_.setStartValue(target);
    slide_.setEndValue(target);
    slide_.setCurrentTime(0);
  }
  update();
}

std::optional<QRectF> ToolboxGroup::highlightRect() const {
  const QRectF r = slide_.currentValue().toRectF();
  if (!shown_ || r.isEmpty())
    return std::nullopt;
  return r;
}

void ToolboxGroup::paintEvent(QPaintEvent *event) {
  BarGroup::paintEvent(event);
  if (const auto r = highlightRect()) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(ChromeShape::path(*r, 9), ChromeColors::withAlpha(ChromeColors::primary(), 0.13));
  }
}

void ToolboxGroup::resizeEvent(QResizeEvent *event) {
  BarGroup::resizeEvent(event);
  placeRow(row_, 1);
  moveHighlight(false);
}

} // namespace crel
