#include "SilentCapturePanel.h"

namespace crel {

void SilentCapturePanel::present() {
  presented = true;
  if (onPresent)
    onPresent();
}

void SilentCapturePanel::close() {
  if (onClose)
    onClose();
  closed = true;
}

} // namespace crel
