#pragma once

#include "chrome/ShortcutGuideView.h"
#include "platform/base/Geometry.h"

#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>

namespace crel {

class BarGroup;
class CanvasView;
class ChromeShadowLayer;
class HintController;
class HintLayer;
class ColorInspectionReadout;
class CrelDocument;

// The interface of one editor window: the canvas fills it, two rows of
// floating bar groups lie over it (history, tools, actions at the top; zoom,
// inspector, status at the bottom), and the colour readout floats above the
// bottom-left corner. The groups are direct children, so presses between
// them reach the canvas; their rectangles go to the canvas, which keeps the
// screenshot clear of them. The canvas holds the keyboard from the first
// show; the controls of the bars never take it.
class EditorView : public QWidget {
  Q_OBJECT
public:
  static constexpr QSize minimumContentSize{800, 460};
  static constexpr double rowHeight = 44, sideInset = 12, topInset = 2, bottomInset = 12;
  // The readout's lower-left corner: 20 from the left, 10 above the bottom row.
  static constexpr double readoutLeft = 20, readoutBottom = 66;

  // What the bars ask of the window's owner; each may be empty.
  struct Actions {
    std::function<void()> chooseFolder, copy, reveal;
  };

  // The document must outlive the view.
  explicit EditorView(CrelDocument &document, QWidget *parent = nullptr);

  CrelDocument &document() const { return document_; }
  CanvasView *canvas() const { return canvas_; }
  ColorInspectionReadout *readout() const { return readout_; }
  // The window's one hover hint, shared by every control of the bars.
  HintController &hints() const { return *hints_; }
  const Actions &actions() const { return actions_; }
  void setActions(Actions actions) { actions_ = std::move(actions); }
  // What the keyboard popover's guide shows; its own tool rows when empty.
  const ShortcutGuideView::Source &shortcutGuide() const { return shortcutGuide_; }
  void setShortcutGuide(ShortcutGuideView::Source source) { shortcutGuide_ = std::move(source); }
  // History, tools, actions, zoom, inspector, status: bottom to top in z-order.
  const std::array<BarGroup *, 6> &groups() const { return groups_; }
  // The groups' rectangles as last handed to the canvas, in view points.
  const QList<geom::Rect> &chromeFrames() const { return chromeFrames_; }

  // Places the rows, the groups and the readout, and hands the groups'
  // rectangles to the canvas when they moved.
  void layoutChrome();

  // Gives the keyboard focus back to this view's canvas on the next turn of
  // the event loop, when this window is the active one then and the canvas
  // shows this view's document.
  void focusCanvas();

Q_SIGNALS:
  // After each coalesced refresh that follows document changes.
  void refreshed();

protected:
  bool event(QEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  void refreshAll();
  void placeReadout();

  CrelDocument &document_;
  CanvasView *canvas_ = nullptr;
  ChromeShadowLayer *shadows_ = nullptr;
  HintController *hints_ = nullptr;
  HintLayer *hintLayer_ = nullptr;
  Actions actions_;
  ShortcutGuideView::Source shortcutGuide_;
  std::array<BarGroup *, 6> groups_{};
  ColorInspectionReadout *readout_ = nullptr;
  QList<geom::Rect> chromeFrames_;
  QTimer refreshTimer_;
};

} // namespace crel
