#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

namespace crel {

// The editor window's hosting view: paints the stage and carries one
// content widget (the editor's view, and so the canvas) laid over it. The
// canvas finds it as an ancestor to repaint the stage over its own top edge.
class EditorStageView : public QWidget {
  Q_OBJECT
public:
  explicit EditorStageView(QWidget *content, QWidget *parent = nullptr);

  QWidget *content() const { return content_; }

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  QPointer<QWidget> content_;
  QImage painted_; // the stage at the current size and pixel ratio
};

} // namespace crel
