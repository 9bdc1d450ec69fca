#include "ZoomGroup.h"

#include "BarModel.h"
#include "EditorView.h"

#include "canvas/CanvasView.h"
#include "chrome/ChromeFonts.h"
#include "chrome/ChromeIconButton.h"
#include "chrome/HintController.h"
#include "chrome/ShortcutText.h"
#include "document/CrelDocument.h"
#include "platform/base/Translate.h"

#include <QApplication>

namespace crel {

namespace {

// The bundled face's digits are all one width, so the label does not
// jitter while zooming.
QFont tabularFont() { return ChromeFonts::font(12, QFont::DemiBold); }

class FitButton : public ChromeButton {
public:
  using ChromeButton::ChromeButton;
  QSize sizeHint() const override { return {44, 32}; }
};

} // namespace

ZoomGroup::ZoomGroup(EditorView &view)
    : BarGroup(QStringLiteral("group-zoom"), crel::tr("Zoom"), {116}, &view), view_(view) {
  const auto hint = [](const char *title, const char *shortcut) {
    return ChromeHint{crel::tr(title), ShortcutText::forLinux(QString::fromUtf8(shortcut)), ChromeHint::Edge::top};
  };
  out_ = new ChromeIconButton(QStringLiteral("minus"), QStringLiteral("zoom-out"), hint("Zoom out", "\u2318\u2212"),
                              &view.hints(), this);
  out_->setObjectName(QStringLiteral("zoom-out"));
  fit_ = new FitButton(this);
  fit_->setObjectName(QStringLiteral("zoom-fit"));
  fit_->setFixedSize(44, 32);
  fit_->setCornerRadius(16);
  fit_->setFont(tabularFont());
  fit_->setAccessibleName(crel::tr("Fit screenshot"));
  view.hints().attach(fit_, QStringLiteral("zoom-fit"), hint("Fit screenshot", "\u23180"));
  in_ = new ChromeIconButton(QStringLiteral("plus"), QStringLiteral("zoom-in"), hint("Zoom in", "\u2318+"),
                             &view.hints(), this);
  in_->setObjectName(QStringLiteral("zoom-in"));
  connect(out_, &QAbstractButton::clicked, this, [this] { zoom(BarModel::zoomOutFactor); });
  connect(in_, &QAbstractButton::clicked, this, [this] { zoom(BarModel::zoomInFactor); });
  connect(fit_, &QAbstractButton::clicked, this, &ZoomGroup::fit);
  setCandidateWidths({rowWidth({out_, fit_, in_}, 0)});
}

void ZoomGroup::refresh(const CrelDocument &document) {
  const BarModel::Zoom z = BarModel::describeZoom(document.zoom());
  out_->setEnabled(z.canZoomOut);
  in_->setEnabled(z.canZoomIn);
  fit_->setText(z.label);
  fit_->setAccessibleDescription(z.accessibleValue);
}

void ZoomGroup::zoom(double factor) {
  QWidget *window = QApplication::activeWindow();
  CanvasView *canvas = window ? CanvasView::find(window) : nullptr;
  if (!canvas || canvas->document() != &view_.document())
    return;
  canvas->setZoom(view_.document().zoom() * factor);
  view_.focusCanvas();
}

void ZoomGroup::fit() {
  view_.document().setZoom(1);
  view_.document().setPan({0, 0});
  view_.focusCanvas();
}

void ZoomGroup::resizeEvent(QResizeEvent *event) {
  BarGroup::resizeEvent(event);
  placeRow({out_, fit_, in_}, 0);
}

} // namespace crel
