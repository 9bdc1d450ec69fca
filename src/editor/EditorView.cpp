#include "EditorView.h"

#include "ActionsGroup.h"
#include "BalancedBar.h"
#include "BarGroup.h"
#include "HistoryGroup.h"
#include "InspectorGroup.h"
#include "StatusGroup.h"
#include "ToolboxGroup.h"
#include "ZoomGroup.h"

#include "GlassSurface.h"
#include "canvas/CanvasView.h"
#include "canvas/ColorInspectionReadout.h"
#include "chrome/ChromeShadowLayer.h"
#include "chrome/HintController.h"
#include "chrome/HintLayer.h"

#include "document/CrelDocument.h"
#include "platform/base/Translate.h"

#include <QApplication>
#include <QResizeEvent>
#include <QTimer>

#include <cmath>

namespace crel {

namespace {

QRect snapped(const QRectF &r) {
  return {int(std::lround(r.x())), int(std::lround(r.y())), int(r.width()), int(r.height())};
}

} // namespace

EditorView::EditorView(CrelDocument &document, QWidget *parent) : QWidget(parent), document_(document) {
  setObjectName(QStringLiteral("editor-view"));
  setMinimumSize(minimumContentSize);
  // Transparent: the stage behind shows around the canvas's paper.
  setAttribute(Qt::WA_NoSystemBackground);
  canvas_ = new CanvasView(document, this);
  // The bars' shadows fall on the canvas: painted between it and them.
  shadows_ = new ChromeShadowLayer(this);
  hints_ = new HintController(nullptr, this);
  // Top row: history, tools, actions; bottom row: zoom, inspector, status.
  groups_ = {new HistoryGroup(*this),
             new ToolboxGroup(*this),
             new ActionsGroup(*this),
             new ZoomGroup(*this),
             new InspectorGroup(document, {[this] { focusCanvas(); }, hints_, nullptr, nullptr}, this),
             new StatusGroup(*this)};
  for (BarGroup *group : groups_) {
    group->setPreviewRendering(GlassSurface::previewRendering());
    shadows_->addCaster(group);
  }
  readout_ = new ColorInspectionReadout(canvas_->colorInspection(), this);
  readout_->setPreviewRendering(GlassSurface::previewRendering());
  shadows_->addCaster(readout_);
  readout_->installEventFilter(this);
  hintLayer_ = new HintLayer(*hints_, this);
  hints_->adoptToolTips(this);
  hintLayer_->raise();
  refreshAll();
  // One refresh per turn of the event loop, however many changes it saw.
  refreshTimer_.setSingleShot(true);
  refreshTimer_.setInterval(0);
  connect(&refreshTimer_, &QTimer::timeout, this, &EditorView::refreshAll);
  connect(&document, &CrelDocument::changed, &refreshTimer_, qOverload<>(&QTimer::start));
}

void EditorView::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  canvas_->setGeometry(rect());
  shadows_->setGeometry(rect());
  hintLayer_->setGeometry(rect());
  layoutChrome();
}

bool EditorView::event(QEvent *event) {
  if (event->type() == QEvent::LayoutRequest)
    layoutChrome();
  // The keys belong to the canvas from the start: no control of the bars
  // takes focus, so without this the window would have none to give it.
  if (event->type() == QEvent::Show && !window()->focusWidget())
    canvas_->setFocus(Qt::OtherFocusReason);
  return QWidget::event(event);
}

// The readout sizes itself to its text; keep its lower-left corner in place.
bool EditorView::eventFilter(QObject *watched, QEvent *event) {
  if (watched == readout_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
    placeReadout();
  return QWidget::eventFilter(watched, event);
}

void EditorView::layoutChrome() {
  const double w = width(), h = height();
  const QRectF top(sideInset, topInset, w - 2 * sideInset, rowHeight);
  const QRectF bottom(sideInset, h - bottomInset - rowHeight, w - 2 * sideInset, rowHeight);
  QList<geom::Rect> frames;
  for (int row = 0; row < 2; ++row) {
    const QList<const ProposalSized *> children{groups_[row * 3], groups_[row * 3 + 1], groups_[row * 3 + 2]};
    const QList<QRectF> rects = BalancedBar::place(row == 0 ? top : bottom, children, BalancedBar::editorSpacing);
    for (int i = 0; i < 3; ++i) {
      BarGroup *group = groups_[row * 3 + i];
      group->setGeometry(snapped(rects[i]));
      frames.append(geom::Rect::fromQRectF(QRectF(group->geometry())));
    }
  }
  if (frames != chromeFrames_) {
    chromeFrames_ = frames;
    canvas_->setChromeFrames(frames);
  }
  placeReadout();
}

void EditorView::placeReadout() {
  const QSize size = readout_->size();
  readout_->move(int(readoutLeft), int(std::lround(height() - readoutBottom - size.height())));
}

void EditorView::refreshAll() {
  for (BarGroup *group : groups_)
    group->refresh(document_);
  layoutChrome();
  Q_EMIT refreshed();
}

void EditorView::focusCanvas() {
  QWidget *window = QApplication::activeWindow();
  CanvasView *canvas = window ? CanvasView::find(window) : nullptr;
  if (!canvas || canvas->document() != &document_)
    return;
  QTimer::singleShot(0, canvas, [window = QPointer<QWidget>(window), canvas = QPointer<CanvasView>(canvas)] {
    if (window && canvas && window == QApplication::activeWindow())
      canvas->setFocus(Qt::OtherFocusReason);
  });
}

} // namespace crel
