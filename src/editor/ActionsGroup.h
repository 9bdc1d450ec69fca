#pragma once

#include "BarGroup.h"

namespace crel {

class ChromeIconButton;
class DragHandle;
class EditorView;
class HintController;
class PrimaryActionButton;

// The drag handle, "Show in File Manager" (while the document has a saved file)
// and the Copy button, which copies the image and closes the window.
class ActionsGroup : public BarGroup {
  Q_OBJECT
public:
  explicit ActionsGroup(EditorView &view);
  void refresh(const CrelDocument &document) override;

  PrimaryActionButton *copyButton() const { return copy_; }

protected:
  void resizeEvent(QResizeEvent *event) override;

private:
  HintController &hints_;
  DragHandle *drag_;
  ChromeIconButton *reveal_;
  PrimaryActionButton *copy_;
};

} // namespace crel
