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
  // While held, the handle shows an empty frame rather than make its
  // thumbnail (pyramid levels and a smooth scale of the screenshot): a new
  // editor holds it until its first frame is on screen.
  void setThumbnailHeld(bool held);

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
  bool thumbnailHeld_ = false;
  std::optional<QPoint> pressAt_;
  AnimatedValue tilt_{0};
  mutable QPixmap thumbnail_;
};

} // namespace crel
