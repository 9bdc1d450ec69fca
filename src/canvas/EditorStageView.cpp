#include "EditorStageView.h"

#include <QVBoxLayout>

namespace crel {

EditorStageView::EditorStageView(QWidget *content, QWidget *parent) : StageWidget(parent), content_(content) {
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  if (content)
    layout->addWidget(content);
}

} // namespace crel
