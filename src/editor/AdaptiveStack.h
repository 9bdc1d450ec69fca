#pragma once

#include <QList>
#include <QWidget>

namespace crel {

// Holds alternative forms of one piece of a bar, widest first, and shows the
// first whose ideal width fits the width it is given (the last when none
// fits). The others stay as hidden children, so look controls up among the
// visible ones only.
class AdaptiveStack : public QWidget {
  Q_OBJECT
public:
  explicit AdaptiveStack(QWidget *parent = nullptr);

  // The first of `widths` at most `allotted`; the last when none is.
  static int choose(const QList<double> &widths, double allotted);

  void addCandidate(QWidget *candidate);
  QList<double> candidateWidths() const;
  // Shows the candidate that fits `width` and takes its size.
  void fit(double width);
  int current() const { return current_; }
  QWidget *currentWidget() const;

  QSize sizeHint() const override;

private:
  QList<QWidget *> candidates_;
  int current_ = 0;
};

// The visible descendant of `root` named `name`, if any.
QWidget *findVisibleChild(QWidget *root, const QString &name);

} // namespace crel
