#pragma once

#include <QWidget>

namespace crel {

// An opaque widget painted with the brand stage (AppTheme::drawStage): a
// flat fill and two soft glows placed by the widget's size. The glows move
// with the size, so a resize repaints the whole; AppTheme keeps the stage
// rendered per size, which keeps the frequent partial repaints over it cheap. Chrome children that cast a shadow
// (ShadowCaster) get it painted on the stage.
class StageWidget : public QWidget {
  Q_OBJECT
public:
  explicit StageWidget(QWidget *parent = nullptr);

protected:
  void paintEvent(QPaintEvent *event) override;
};

} // namespace crel
