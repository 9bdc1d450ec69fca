#pragma once

#include "chrome/AnimatedValue.h"

#include <QPixmap>
#include <QPoint>
#include <QWidget>

#include <optional>

namespace crel {

class CrelDocument;

// A small tilted thumbnail of the screenshot that drags the image into
// other applications: its file when saved, else PNG data (DragPayload).
class DragHandle : public QWidget {
  Q_OBJECT
public:
  DragHandle(CrelDocument &document, QWidget *parent = nullptr);
  QSize sizeHint() const override { return {32, 32}; }
  bool isHovered() const { return hovered_; }

protected:
  void paintEvent(QPaintEvent *event) override;
  void enterEvent(QEnterEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;

private:
  void setHovered(bool hovered);
  QPixmap thumbnail(double devicePixelRatio) const;

  CrelDocument &document_;
  bool hovered_ = false;
  std::optional<QPoint> pressAt_;
  AnimatedValue tilt_{0};
  mutable QPixmap thumbnail_;
};

} // namespace crel
