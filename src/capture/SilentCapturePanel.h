#pragma once

#include "CapturePanel.h"

#include <functional>

namespace crel {

// A capture panel that never reaches the screen, for tests and self-checks:
// presenting it only sets `presented`, making it key does nothing.
class SilentCapturePanel final : public CapturePanel {
public:
  explicit SilentCapturePanel(const geom::Rect &contentRect) : frame_(contentRect) {}

  geom::Rect frame() const override { return frame_; }
  void present() override;
  void makeKey() override { ++keyRequests; }
  void orderOut() override { presented = false; }
  void close() override;
  // Moves the panel as a compositor that places it would, and reports it.
  void place(const geom::Rect &frame) {
    frame_ = frame;
    if (auto report = placed)
      report(frame);
  }

  bool presented = false;
  bool closed = false;
  int keyRequests = 0;
  std::function<void()> onPresent;
  std::function<void()> onClose;

private:
  geom::Rect frame_;
};

} // namespace crel
