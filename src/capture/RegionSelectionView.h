#pragma once

#include "CaptureSnapshot.h"

#include <QFont>
#include <QImage>
#include <QWidget>

#include <functional>
#include <optional>

namespace crel {

class CapturePanel;

// The content of one capture panel: the display's frozen still, dimmed, on
// which the user drags a rectangle. Local coordinates are the panel's points
// (origin top left). Reports once: the rectangle in global points, or
// nothing for Escape or a right click.
class RegionSelectionView : public QWidget {
  Q_OBJECT

public:
  explicit RegionSelectionView(CaptureSnapshot snapshot);

  // Called at most once; the coordinator clears it before closing the panel.
  std::function<void(std::optional<geom::Rect> globalRect)> complete;

  const CaptureSnapshot &snapshot() const { return snapshot_; }
  bool isCompleted() const { return completed_; }
  // The selection being dragged, in local points, or nothing.
  std::optional<QRectF> selection() const;

  // The panel hosting the view; set by CapturePanel.
  CapturePanel *panel() const { return panel_; }
  void setPanel(CapturePanel *panel) { panel_ = panel; }

  // The rectangle spanned by two points, clipped to `bounds`.
  static QRectF selectionRect(QPointF anchor, QPointF cursor, const QRectF &bounds);
  // Large enough to count as a selection: at least 3 × 3 points.
  static bool isLargeEnough(const QRectF &selection);
  // "W × H px" for a local selection, through the crop's own mapping.
  static QString sizeLabelText(const CaptureSnapshot &snapshot, const QRectF &localSelection);
  // Bottom-left corners of the bubbles.
  static QPointF hintOrigin(const QSizeF &bounds);
  static QPointF sizeLabelOrigin(const QRectF &selection, const QSizeF &bounds);
  // The bubble drawn for `text` with its bottom-left corner at `origin`.
  static QRectF bubbleRect(const QString &text, QPointF origin);
  static QFont labelFont();
  static QString hintText();

protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void keyReleaseEvent(QKeyEvent *event) override;
  void focusInEvent(QFocusEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;

private:
  void report(std::optional<geom::Rect> globalRect);
  void cancelSelection();
  // The stroke band and label of the selection, or the hint bubble.
  QRegion decoration() const;
  // Repaints only what a change touched, so a move costs the same on any
  // display size.
  void refreshOverlay();
  // What the panel shows under the dimming at a device pixel ratio: the
  // still, or a copy averaged down to the panel's device pixels, and its
  // pixels per point.
  struct Backdrop {
    QImage image;
    double sx = 0, sy = 0;
    // What it was made for.
    double deviceRatio = 0;
    QSize panel;
  };
  const Backdrop &backdrop(double deviceRatio);
  static void drawBackdrop(QPainter &painter, const Backdrop &backdrop, const QRectF &target);
  static void drawLabel(QPainter &painter, const QString &text, QPointF origin);

  CaptureSnapshot snapshot_;
  Backdrop backdrop_;
  bool completed_ = false;
  std::optional<QPointF> anchor_;
  std::optional<QPointF> cursor_;
  std::optional<QRectF> shownSelection_;
  QRegion shownDecoration_;
  CapturePanel *panel_ = nullptr;
};

} // namespace crel
