#include "CapturePanel.h"

#include "RegionSelectionView.h"

namespace crel {

CapturePanel::~CapturePanel() {
  if (content_) {
    content_->setPanel(nullptr);
    delete content_.data();
  }
}

void CapturePanel::setContentView(RegionSelectionView *view) {
  removeContentView();
  content_ = view;
  if (view) {
    view->setPanel(this);
    installContentView(view);
  }
}

void CapturePanel::removeContentView() {
  if (!content_)
    return;
  RegionSelectionView *view = content_;
  content_.clear();
  view->setPanel(nullptr);
  view->hide();
  view->deleteLater();
}

void CapturePanel::installContentView(RegionSelectionView *) {}

} // namespace crel
