#include "AdaptiveStack.h"

#include <algorithm>

namespace crel {

AdaptiveStack::AdaptiveStack(QWidget *parent) : QWidget(parent) {}

int AdaptiveStack::choose(const QList<double> &widths, double allotted) {
  for (int i = 0; i < widths.size(); ++i)
    if (widths[i] <= allotted)
      return i;
  return int(widths.size()) - 1;
}

void AdaptiveStack::addCandidate(QWidget *candidate) {
  candidate->setParent(this);
  candidate->setVisible(candidates_.isEmpty());
  candidates_.append(candidate);
}

QList<double> AdaptiveStack::candidateWidths() const {
  QList<double> widths;
  for (const QWidget *c : candidates_)
    widths.append(c->sizeHint().width());
  return widths;
}

void AdaptiveStack::fit(double width) {
  current_ = std::max(0, choose(candidateWidths(), width));
  for (int i = 0; i < candidates_.size(); ++i)
    candidates_[i]->setVisible(i == current_);
  if (QWidget *shown = currentWidget()) {
    resize(shown->sizeHint());
    shown->setGeometry(QRect(QPoint(0, 0), shown->sizeHint()));
  }
}

QWidget *AdaptiveStack::currentWidget() const { return candidates_.value(current_); }

QSize AdaptiveStack::sizeHint() const {
  const QWidget *shown = currentWidget();
  return shown ? shown->sizeHint() : QSize();
}

QWidget *findVisibleChild(QWidget *root, const QString &name) {
  for (QWidget *w : root->findChildren<QWidget *>(name))
    if (w->isVisibleTo(root))
      return w;
  return nullptr;
}

} // namespace crel
