#pragma once

#include <QWidget>

namespace crel {

// The thin rule between tool groups: 1 by 18 of black at 0.1, with 4 of space
// on either side (9 wide in all). Decoration only: assistive technologies
// see it as an invisible separator and skip it.
class ChromeDivider : public QWidget {
  Q_OBJECT
public:
  explicit ChromeDivider(QWidget *parent = nullptr);

  static constexpr int ruleHeight = 18, sideSpace = 4;

protected:
  void paintEvent(QPaintEvent *event) override;
};

} // namespace crel
