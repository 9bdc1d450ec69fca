#pragma once

#include "BarGroup.h"

namespace crel {

class ChromeButton;
class ChromeIconButton;
class EditorView;

// Zoom out, the fit button (showing "Fit" or the zoom in percent) and zoom
// in. The zoom buttons act only on the editor whose window is active; the
// fit button resets zoom and pan of its own document.
class ZoomGroup : public BarGroup {
  Q_OBJECT
public:
  explicit ZoomGroup(EditorView &view);
  void refresh(const CrelDocument &document) override;

  // The zoom buttons' action: the active window's canvas, when it shows this
  // view's document, zooms by `factor` about its centre.
  void zoom(double factor);
  void fit();

protected:
  void resizeEvent(QResizeEvent *event) override;

private:
  EditorView &view_;
  ChromeIconButton *out_, *in_;
  ChromeButton *fit_;
};

} // namespace crel
