#pragma once

#include <QPointer>
#include <QWidget>

#include <vector>

namespace crel {

// A mouse-transparent widget that paints the shadows of chrome widgets which
// float over a sibling (the bars over the canvas). Stack it above what the
// shadows fall on and below the casters; it follows their moves, resizes,
// visibility and shadow changes.
class ChromeShadowLayer : public QWidget {
  Q_OBJECT
public:
  explicit ChromeShadowLayer(QWidget *parent = nullptr);

  // `caster` must be a ShadowCaster widget of the same window.
  void addCaster(QWidget *caster);
  void removeCaster(QWidget *caster);

protected:
  void paintEvent(QPaintEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  std::vector<QPointer<QWidget>> casters_;
};

} // namespace crel
