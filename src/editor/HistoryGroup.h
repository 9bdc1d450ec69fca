#pragma once

#include "BarGroup.h"

namespace crel {

class ChromeIconButton;
class EditorView;

// Undo and redo, enabled while there is something to undo or redo.
class HistoryGroup : public BarGroup {
  Q_OBJECT
public:
  explicit HistoryGroup(EditorView &view);
  void refresh(const CrelDocument &document) override;

protected:
  void resizeEvent(QResizeEvent *event) override;

private:
  ChromeIconButton *undo_, *redo_;
};

} // namespace crel
