#pragma once

#include "RegionSelectionView.h"
#include "platform/base/Geometry.h"

#include <QPointer>

#include <functional>
#include <memory>

namespace crel {

// A borderless panel that covers one display during a capture and hosts its
// selection view. An interface, so a silent stand-in can replace the
// on-screen panel: Qt's widget state getters are not virtual.
class CapturePanel {
public:
  virtual ~CapturePanel();

  // The display rectangle the panel covers, in global points.
  virtual geom::Rect frame() const = 0;

  // Shows the panel above everything, whether or not the application is
  // active.
  virtual void present() = 0;
  // Makes the panel the one that receives the keyboard.
  virtual void makeKey() = 0;
  virtual void orderOut() = 0;
  // The capture is ending, with an image or without; called before the
  // panel is ordered out.
  virtual void captureWillEnd(bool captured) { (void)captured; }
  virtual void close() = 0;

  // Set for a panel that goes where the compositor puts it rather than where
  // it asked: called with the rectangle it covers once it shows, and each
  // time that changes. Cleared before the panel closes.
  std::function<void(const geom::Rect &frame)> placed;

  // Takes `view` over and stretches it across the whole panel. A view that
  // was there before is removed.
  void setContentView(RegionSelectionView *view);
  RegionSelectionView *contentView() const { return content_; }
  // Detaches the view from the panel and deletes it once control is back in
  // the event loop (it may be handling an event right now).
  void removeContentView();

protected:
  // Called after the view knows its panel; place it inside the panel here.
  virtual void installContentView(RegionSelectionView *view);

private:
  QPointer<RegionSelectionView> content_;
};

// Makes the panel for a display rectangle in global points.
using CapturePanelFactory = std::function<std::shared_ptr<CapturePanel>(const geom::Rect &contentRect)>;

} // namespace crel
