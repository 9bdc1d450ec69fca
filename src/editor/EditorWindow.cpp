#include "EditorWindow.h"

#include <QCloseEvent>

namespace crel {

EditorWindow::EditorWindow(QWidget *parent) : QWidget(parent, Qt::Window) {}

void EditorWindow::closeEvent(QCloseEvent *event) {
  if (shouldClose && !shouldClose()) {
    event->ignore();
    return;
  }
  event->accept();
  if (willClose)
    willClose();
}

} // namespace crel
