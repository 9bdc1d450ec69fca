#include "InkColorPanel.h"

#include "document/CrelDocument.h"

#include <QColorDialog>

namespace crel {

ColorDialogBackend::ColorDialogBackend() = default;
ColorDialogBackend::~ColorDialogBackend() = default;

void ColorDialogBackend::present(const QColor &color) {
  if (!dialog_) {
    dialog_ = std::make_unique<QColorDialog>();
    dialog_->setOptions(QColorDialog::NoButtons | QColorDialog::DontUseNativeDialog);
    dialog_->setOption(QColorDialog::ShowAlphaChannel, false);
    dialog_->setWindowFlag(Qt::Tool);
    dialog_->setAttribute(Qt::WA_ShowWithoutActivating);
    connect(dialog_.get(), &QColorDialog::currentColorChanged, this, &ColorPanelBackend::colorChanged);
  }
  {
    const QSignalBlocker quiet(dialog_.get());
    dialog_->setCurrentColor(color);
  }
  dialog_->show();
  dialog_->raise();
}

InkColorPanel::InkColorPanel(std::unique_ptr<ColorPanelBackend> backend, int settleMs, QObject *parent)
    : QObject(parent), backend_(std::move(backend)), settleMs_(settleMs) {
  connect(backend_.get(), &ColorPanelBackend::colorChanged, this, &InkColorPanel::colorChanged);
}

InkColorPanel::~InkColorPanel() {
  for (const CrelDocument *d : pending_.keys())
    settle(d);
}

InkColorPanel &InkColorPanel::shared() {
  static InkColorPanel *panel = new InkColorPanel(std::make_unique<ColorDialogBackend>());
  return *panel;
}

bool InkColorPanel::isSettling(const CrelDocument &document) const {
  const auto it = pending_.find(&document);
  return it != pending_.end() && it->document;
}

void InkColorPanel::open(CrelDocument &document) {
  // A colour still settling on another document is committed there first, so
  // its bracket never stays open behind the switch.
  if (document_ && document_ != &document)
    settle(document_);
  document_ = &document;
  backend_->present(document.ink().color());
}

void InkColorPanel::release(CrelDocument &document) {
  settle(&document);
  if (document_ == &document)
    document_ = nullptr;
}

void InkColorPanel::colorChanged(const QColor &color) {
  CrelDocument *document = document_;
  if (!document)
    return;
  const Ink ink = Ink::custom(color);
  document->editSettling(this, [&] { document->setInk(ink); });
  Pending &p = pending_[document];
  if (!p.document || !p.timer) {
    // A stale entry of a destroyed document at the same address is replaced.
    delete p.timer;
    p.document = document;
    p.timer = new QTimer(this);
    p.timer->setSingleShot(true);
    p.timer->setInterval(settleMs_);
    connect(p.timer, &QTimer::timeout, this, [this, document] { settle(document); });
  }
  p.timer->start();
}

void InkColorPanel::settle(const CrelDocument *document) {
  const auto it = pending_.find(document);
  if (it == pending_.end())
    return;
  const Pending p = *it;
  pending_.erase(it);
  p.timer->deleteLater();
  if (p.document)
    p.document->endEditing(false, this);
}

} // namespace crel
