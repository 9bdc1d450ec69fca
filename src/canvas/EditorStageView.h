#pragma once

#include "chrome/StageWidget.h"

#include <QPointer>

namespace crel {

// The editor window's hosting view: paints the stage and carries one
// content widget (the editor's view, and so the canvas) laid over it. The
// canvas finds it as an ancestor to repaint the stage over its own top edge.
class EditorStageView : public StageWidget {
  Q_OBJECT
public:
  explicit EditorStageView(QWidget *content, QWidget *parent = nullptr);

  QWidget *content() const { return content_; }

private:
  QPointer<QWidget> content_;
};

} // namespace crel
