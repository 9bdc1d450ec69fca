#pragma once

#include "AnimatedValue.h"
#include "ChromeHint.h"

#include <QPointer>
#include <QWidget>

namespace crel {

class HintController;

// Draws the controller's visible hint over a whole window's content: raise
// it above everything and give it the content's full rectangle. It never
// takes clicks or hovers. The bubble fades in and out over 0.12 s and
// follows its control when the bars move.
class HintLayer : public QWidget {
  Q_OBJECT
public:
  HintLayer(HintController &controller, QWidget *parent);

  // The shown bubble's centre in this layer, when one shows.
  std::optional<QPointF> bubbleCentre() const;

protected:
  void paintEvent(QPaintEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void refresh();

  QPointer<HintController> controller_;
  AnimatedValue opacity_{0};
  std::optional<ChromeHint> shown_; // kept while fading out
  QPointer<QWidget> control_;
};

} // namespace crel
