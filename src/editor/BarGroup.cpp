#include "BarGroup.h"

#include "AdaptiveStack.h"

#include <QMouseEvent>

#include <cmath>

namespace crel {

BarGroup::BarGroup(const QString &identifier, const QString &accessibleName, QList<double> candidateWidths,
                   QWidget *parent)
    : ChromeSurface(std::nullopt, parent), candidateWidths_(std::move(candidateWidths)) {
  Q_ASSERT(!candidateWidths_.isEmpty());
  setObjectName(identifier);
  setAccessibleName(accessibleName);
  setAttribute(Qt::WA_TranslucentBackground);
  setCursor(Qt::ArrowCursor);
  setFocusPolicy(Qt::NoFocus);
}

QSizeF BarGroup::sizeFor(std::optional<double> width, std::optional<double>) const {
  const int index = width ? AdaptiveStack::choose(candidateWidths_, *width) : 0;
  return {candidateWidths_[index], height};
}

QSize BarGroup::sizeHint() const { return sizeFor(std::nullopt, std::nullopt).toSize(); }

void BarGroup::refresh(const CrelDocument &) {}

void BarGroup::setCandidateWidths(QList<double> widths) {
  Q_ASSERT(!widths.isEmpty());
  if (widths == candidateWidths_)
    return;
  candidateWidths_ = std::move(widths);
  updateGeometry();
}

namespace {

// Fixed-size widgets (a divider) may have no size hint of their own.
QSize idealSize(const QWidget *item) {
  const QSize hint = item->sizeHint();
  return hint.isValid() ? hint : item->minimumSize();
}

} // namespace

double BarGroup::rowWidth(const QList<QWidget *> &items, double spacing) {
  double width = 2 * padding;
  int shown = 0;
  for (const QWidget *item : items)
    if (!item->isHidden()) {
      width += idealSize(item).width();
      ++shown;
    }
  return width + spacing * std::max(shown - 1, 0);
}

void BarGroup::placeRow(const QList<QWidget *> &items, double spacing) {
  double x = padding;
  for (QWidget *item : items) {
    if (item->isHidden())
      continue;
    const QSize size = idealSize(item);
    item->setGeometry(int(std::lround(x)), int(std::lround((QWidget::height() - size.height()) / 2.0)), size.width(),
                      size.height());
    x += size.width() + spacing;
  }
}

// Presses on a bar never reach the canvas beneath.
void BarGroup::mousePressEvent(QMouseEvent *event) { event->accept(); }

} // namespace crel
