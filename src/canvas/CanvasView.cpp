#include "CanvasView.h"

#include "CanvasInteraction.h"
#include "CanvasLayout.h"
#include "ColorInspection.h"
#include "ColorSampling.h"
#include "DeviceScale.h"
#include "EditorStageView.h"
#include "InlineTextEditor.h"
#include "WordGestures.h"

#include "document/CrelDocument.h"
#include "document/ExtendedImageBackground.h"
#include "document/MarkGeometry.h"
#include "document/PatchFilter.h"
#include "document/RecognizedText.h"
#include "platform/base/Translate.h"
#include "platform/desktop/AppTheme.h"

#include <QAccessibleWidget>
#include <QLinearGradient>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace crel {

namespace {

constexpr double minZoom = 1, maxZoom = 12;
// View points a wheel notch pans, and the zoom factor of a Ctrl+wheel notch
// (a power of it, so that notches in and out cancel exactly).
constexpr double wheelPanStep = 40, wheelZoomFactor = 1.2;
constexpr double fadeBandHeight = 22;

const QColor shadowColor = QColor::fromRgbF(0.05f, 0.1f, 0.2f, 0.1f);

QColor withAlpha(QColor color, double alpha) {
  color.setAlphaF(float(alpha));
  return color;
}

// Assistive technology sees the canvas as an image.
QAccessibleInterface *accessibleCanvas(const QString &className, QObject *object) {
  if (className == QLatin1String(CanvasView::staticMetaObject.className()) && object && object->isWidgetType())
    return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Graphic);
  return nullptr;
}

} // namespace

CanvasView::CanvasView(CrelDocument &document, QWidget *parent)
    : QWidget(parent), document_(&document), paperShadowWide_(28, {0, 10}, shadowColor),
      paperShadowNear_(3, {0, 1}, shadowColor), handleShadow_(3, {0, 1}, QColor::fromRgbF(0, 0, 0, 0.22f)) {
  setAttribute(Qt::WA_NoSystemBackground);
  setAutoFillBackground(false);
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
  colorInspection_ = new ColorInspection(nullptr, this);
  colorSampling_ = new ColorSampling(*this, *colorInspection_);
  wordGestures_ = new WordGestures(*this);
  inlineTextEditor_ = new InlineTextEditor(*this);
  static const bool accessibilityInstalled = (QAccessible::installFactory(accessibleCanvas), true);
  Q_UNUSED(accessibilityInstalled);
  setAccessibleName(crel::tr("Screenshot annotation canvas"));
  setAccessibleDescription(crel::tr(
      "Choose a tool, then drag to annotate. Hover to inspect pixel colors; Alt-click or right-click to copy a "
      "color. V selects marks. Drag the round handle above a selection to rotate, or use Alt+Left and Alt+Right. "
      "Shift snaps rotation to 15 degrees. Delete removes a mark; arrow keys move it. Ctrl+Z undoes the last "
      "change."));
  document.finishTextEditing = [canvas = QPointer<CanvasView>(this)] {
    if (canvas)
      canvas->finishText(false);
  };
  // One queued refresh per change; queued calls to a deleted canvas are dropped.
  connect(&document, &CrelDocument::changed, this, &CanvasView::refreshAfterDocumentChange, Qt::QueuedConnection);
  interaction_ = std::make_unique<CanvasInteraction>(*this);
  // Input hands word gestures, inline text and colour inspection to the
  // handlers beside the canvas.
  CanvasInputHooks &hooks = interaction_->hooks();
  hooks.updateTextGesture = [this](QPointF p) { wordGestures_->drag(p); };
  hooks.addText = [this](QPointF p, const std::optional<Mark> &editing) { inlineTextEditor_->begin(p, editing); };
  hooks.hideColorInspection = [this] { colorSampling_->hide(); };
  hooks.inspectColor = [this](QPointF viewPoint) { colorSampling_->pointerMoved(viewPoint); };
  hooks.copyColor = [this](const PixelColor &color) { colorSampling_->copyPixelColor(color); };
}

CanvasView::~CanvasView() {
  // An edit left open would keep the document's bracket open for good.
  finishText(false);
}

CanvasView *CanvasView::find(QWidget *root) {
  if (!root)
    return nullptr;
  if (auto *canvas = qobject_cast<CanvasView *>(root))
    return canvas;
  for (QObject *child : root->children()) {
    if (auto *widget = qobject_cast<QWidget *>(child)) {
      if (CanvasView *found = find(widget))
        return found;
    }
  }
  return nullptr;
}

// ---- placement

geom::Rect CanvasView::fitArea() const {
  return CanvasLayout::fitArea(geom::Rect(0, 0, width(), height()), chromeFrames_);
}

geom::Rect CanvasView::imageRect() const {
  if (interactionImageRect_)
    return *interactionImageRect_;
  if (!document_)
    return {0, 0, 0, 0};
  const geom::Rect expanded = document_->expandedBounds(document_->marks());
  return CanvasLayout::imageRect(fitArea(), expanded, document_->pixelSize(), document_->zoom(), document_->pan());
}

double CanvasView::scale() const {
  if (!document_ || document_->pixelSize().width() <= 0)
    return 1;
  return imageRect().width() / document_->pixelSize().width();
}

QPointF CanvasView::point(QPointF viewPoint) const {
  const geom::Rect r = imageRect();
  const double s = scale();
  return {(viewPoint.x() - r.minX()) / s, (viewPoint.y() - r.minY()) / s};
}

QPointF CanvasView::viewPoint(QPointF imagePoint) const {
  const geom::Rect r = imageRect();
  const double s = scale();
  return {r.minX() + imagePoint.x() * s, r.minY() + imagePoint.y() * s};
}

void CanvasView::setZoom(double zoom, std::optional<QPointF> location) {
  if (anchor_ || !document_)
    return;
  finishText(false);
  const QPointF p = location.value_or(QPointF(width() / 2.0, height() / 2.0));
  const QPointF q = point(p);
  document_->setZoom(std::clamp(zoom, minZoom, maxZoom));
  // Both pan corrections come from the rectangle as it stands right after
  // the zoom change, before either of them is applied.
  const geom::Rect r = imageRect();
  const double s = scale();
  QSizeF pan = document_->pan();
  document_->setPan({pan.width() + p.x() - (r.minX() + q.x() * s), pan.height()});
  pan = document_->pan();
  document_->setPan({pan.width(), pan.height() + p.y() - (r.minY() + q.y() * s)});
  if (document_->zoom() == 1)
    document_->setPan({0, 0});
  update();
}

void CanvasView::setChromeFrames(const QList<geom::Rect> &frames) {
  const bool changed = frames != chromeFrames_;
  chromeFrames_ = frames;
  update();
  if (changed)
    relayout();
}

// ---- gesture state

void CanvasView::setDraft(const std::optional<Mark> &mark) {
  draft_ = mark;
  update();
}

void CanvasView::setMoving(const std::optional<Mark> &mark) {
  moving_ = mark;
  update();
}

void CanvasView::beginGesture(QPointF anchor) {
  interactionImageRect_ = imageRect();
  anchor_ = anchor;
}

void CanvasView::endGesture(bool keepImageRect) {
  anchor_.reset();
  if (!keepImageRect && !editingTextID_)
    interactionImageRect_.reset();
  update();
}

void CanvasView::releaseInteractionImageRect() {
  interactionImageRect_.reset();
  update();
}

void CanvasView::setEditingTextID(std::optional<QUuid> id) {
  editingTextID_ = id;
  update();
}

void CanvasView::setHoverWord(const std::optional<RecognizedWord> &word) {
  // The pointer moves far more often than it changes words.
  if (word == hoverWord_)
    return;
  hoverWord_ = word;
  update();
}

void CanvasView::finishText(bool cancel) { inlineTextEditor_->finish(cancel); }

void CanvasView::hoverAt(QPointF viewPoint, bool spaceHeld) {
  colorSampling_->pointerMoved(viewPoint);
  wordGestures_->hover(viewPoint, spaceHeld);
}

void CanvasView::hoverEnded() {
  colorSampling_->hide();
  wordGestures_->leave();
}

QList<Mark> CanvasView::drawnMarks() const {
  QList<Mark> drawn;
  if (!document_)
    return drawn;
  drawn.reserve(document_->marks().size() + 1);
  for (const Mark &mark : document_->marks()) {
    if (editingTextID_ && mark.id == *editingTextID_)
      continue;
    drawn.append(moving_ && moving_->id == mark.id ? *moving_ : mark);
  }
  if (draft_)
    drawn.append(*draft_);
  return drawn;
}

// ---- refresh and layout

void CanvasView::refreshAfterDocumentChange() {
  inlineTextEditor_->updatePlacement();
  colorSampling_->documentChanged();
  update();
  Q_EMIT refreshed();
}

void CanvasView::relayout() {
  inlineTextEditor_->updatePlacement();
  colorSampling_->schedule();
  Q_EMIT laidOut();
}

// ---- events

bool CanvasView::event(QEvent *event) {
  if (event->type() == QEvent::NativeGesture) {
    auto *gesture = static_cast<QNativeGestureEvent *>(event);
    if (gesture->gestureType() == Qt::ZoomNativeGesture && document_)
      setZoom(document_->zoom() * (1 + gesture->value()), gesture->position());
    event->accept();
    return true;
  }
  return QWidget::event(event);
}

void CanvasView::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  relayout();
}

void CanvasView::wheelEvent(QWheelEvent *event) {
  event->accept();
  if (!document_)
    return;
  if (event->modifiers() & Qt::ControlModifier) {
    // Where the X server delivers no pinch gestures, Ctrl+wheel zooms instead.
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0)
      setZoom(document_->zoom() * std::pow(wheelZoomFactor, notches), event->position());
    return;
  }
  if (anchor_ || document_->zoom() <= 1)
    return;
  QPointF delta =
      event->pixelDelta().isNull() ? QPointF(event->angleDelta()) / 120.0 * wheelPanStep : QPointF(event->pixelDelta());
  // Shift turns a vertical wheel sideways, as elsewhere on the desktop.
  if ((event->modifiers() & Qt::ShiftModifier) && delta.x() == 0)
    delta = QPointF(delta.y(), 0);
  const QSizeF pan = document_->pan();
  document_->setPan({pan.width() + delta.x(), pan.height()});
  document_->setPan({document_->pan().width(), document_->pan().height() + delta.y()});
  update();
}

// ---- drawing

void CanvasView::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  paintCanvas(painter);
}

void CanvasView::paintCanvas(QPainter &painter) {
  if (!document_)
    return;
  const geom::Rect r = imageRect();
  const double s = scale();
  QTransform toView;
  toView.translate(r.minX(), r.minY());
  toView.scale(s, s);

  painter.save();
  painter.setClipRect(rect());
  painter.setRenderHint(QPainter::Antialiasing);

  const QList<Mark> drawn = drawnMarks();
  const geom::Rect canvasRect = document_->expandedBounds(drawn);

  // Most frames change only what lies over the marks (the pointer's word,
  // the chrome) or, during a gesture, the dragged mark and what lies above
  // it; everything beneath is painted once into a layer and copied after.
  qsizetype split = drawn.size();
  if (moving_) {
    split =
        std::find_if(drawn.begin(), drawn.end(), [&](const Mark &m) { return m.id == moving_->id; }) - drawn.begin();
  } else if (draft_) {
    split = drawn.size() - 1;
  }
  if (painter.worldTransform().type() <= QTransform::TxTranslate) {
    const double dpr = deviceScale(painter);
    const CanvasLayer::Key key{size(), dpr, r, canvasRect, drawn.mid(0, split)};
    const QImage layer = layer_.update(key, [&](QPainter &p) { paintPaperAndMarks(p, toView, canvasRect, key.marks); });
    const QList<Mark> live = drawn.mid(split);
    if (std::any_of(live.begin(), live.end(), [](const Mark &m) { return m.tool == MarkTool::blur; })) {
      painter.drawImage(QPointF(0, 0), paintLiveMarksOverLayer(layer, toView, dpr, live));
    } else {
      liveFrame_.reset();
      painter.drawImage(QPointF(0, 0), layer);
      painter.save();
      painter.setTransform(toView, true);
      document_->drawMarks(painter, live);
      painter.restore();
    }
  } else {
    liveFrame_.reset();
    paintPaperAndMarks(painter, toView, canvasRect, drawn);
  }

  drawWords(painter, toView);
  if (document_->tool() == MarkTool::select)
    drawSelectionChrome(painter, toView, s);
  painter.restore();

  if (document_->zoom() > 1 || document_->pan().width() != 0 || document_->pan().height() != 0)
    drawTopFade(painter);
}

bool CanvasView::releaseCache() {
  const bool live = liveFrame_.has_value();
  liveFrame_.reset();
  return layer_.release() || live;
}

void CanvasView::paintPaperAndMarks(QPainter &painter, const QTransform &toView, const geom::Rect &canvasRect,
                                    const QList<Mark> &marks) {
  const QRectF paper = toView.mapRect(canvasRect.toQRectF());
  paperShadowWide_.drawForRect(painter, paper);
  paperShadowNear_.drawForRect(painter, paper);
  painter.fillRect(paper, Qt::white);

  painter.save();
  painter.setTransform(toView, true);
  document_->background().draw(painter, canvasRect, true);
  painter.restore();

  painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.1f), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(paper.adjusted(-0.5, -0.5, 0.5, 0.5));

  painter.save();
  painter.setTransform(toView, true);
  document_->drawMarks(painter, marks);
  painter.restore();
}

namespace {

// Where a blur mark drawn from the frame takes its pixels from and puts them,
// in device pixels of the frame.
struct FrameBlur {
  QRect patch;
  QRect area; // the patch with the filter's reach around it
  double strength = 0;
};

std::optional<FrameBlur> frameBlur(const Mark &mark, const QTransform &toDevice, const QRect &frame) {
  const QTransform rotation = rotationTransform(mark);
  geom::Rect unionRect;
  for (const geom::Rect &r : mark.regions ? *mark.regions : QList<geom::Rect>{bounds(mark)})
    if (!r.isEmpty())
      unionRect = unionRect.united(r.applying(rotation));
  if (unionRect.isNull())
    return std::nullopt;
  const QRect patch = toDevice.mapRect(unionRect.toQRectF()).toAlignedRect() & frame;
  if (patch.isEmpty())
    return std::nullopt;
  const double strength = PatchFilter::strength(mark.blurStrength) * std::hypot(toDevice.m11(), toDevice.m12());
  return FrameBlur{patch, PatchFilter::workingArea(patch, strength) & frame, strength};
}

// The device pixels a mark's drawing may touch (a blur: its patch).
QRect paintedArea(const Mark &mark, const QTransform &toDevice, const QRect &frame) {
  if (mark.tool == MarkTool::blur) {
    const std::optional<FrameBlur> blur = frameBlur(mark, toDevice, frame);
    return blur ? blur->patch : QRect();
  }
  const geom::Rect visual = visualBounds(mark);
  if (visual.isNull())
    return {};
  return toDevice.mapRect(visual.toQRectF()).toAlignedRect().adjusted(-4, -4, 4, 4) & frame;
}

// The part of the previous frame that the change from `before` to `after`
// (the same marks, some of them changed) invalidates: where changed marks
// were and are, and then the whole reach of every blur that reaches into it,
// since a blur's patch is filtered from what lies beneath it.
QRect changedArea(const QList<Mark> &before, const QList<Mark> &after, const QTransform &toDevice, const QRect &frame) {
  QRect changed;
  for (qsizetype i = 0; i < after.size(); ++i)
    if (!(before[i] == after[i]))
      changed |= paintedArea(before[i], toDevice, frame) | paintedArea(after[i], toDevice, frame);
  for (bool grew = !changed.isEmpty(); grew;) {
    grew = false;
    for (const Mark &mark : after) {
      if (mark.tool != MarkTool::blur)
        continue;
      const std::optional<FrameBlur> blur = frameBlur(mark, toDevice, frame);
      if (blur && blur->area.intersects(changed) && !changed.contains(blur->area)) {
        changed |= blur->area;
        grew = true;
      }
    }
  }
  return changed;
}

// Paints the blur filtered from the frame beneath it; the painter maps the
// canvas to view points.
void drawBlurFromFrame(QPainter &painter, const QImage &frame, const Mark &mark, const FrameBlur &blur, double dpr) {
  const QTransform toDevice = painter.worldTransform() * QTransform::fromScale(dpr, dpr);
  const QTransform rotation = rotationTransform(mark);
  QPainterPath clip;
  clip.setFillRule(Qt::WindingFill);
  for (const geom::Rect &r : mark.regions ? *mark.regions : QList<geom::Rect>{bounds(mark)}) {
    if (r.isEmpty())
      continue;
    clip.addPolygon(rotation.map(QPolygonF(r.toQRectF())));
    clip.closeSubpath();
  }
  const BlurEffect effect = mark.blurEffect.value_or(BlurEffect::blur);
  // Pixel cells stay anchored at the canvas origin, as in the full-resolution patch.
  const QPoint origin = toDevice.map(QPointF(0, 0)).toPoint();
  const QImage filtered = PatchFilter::filter(frame.copy(blur.area), blur.area.translated(-origin),
                                              blur.patch.translated(-origin), effect, blur.strength);
  const QRectF target(QPointF(blur.patch.topLeft()) / dpr, QSizeF(blur.patch.size()) / dpr);
  painter.save();
  painter.setClipPath(clip, Qt::IntersectClip);
  painter.resetTransform();
  if (filtered.isNull()) {
    painter.fillRect(target, Qt::black);
  } else {
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, effect != BlurEffect::pixelate);
    painter.drawImage(target, filtered);
  }
  painter.restore();
}

} // namespace

// A blur above the dragged mark must show the mark under it on every frame.
// Filtering its patch at full resolution each time costs far more than a
// frame, so while the gesture lasts it is filtered from the frame itself, at
// device resolution with the strength scaled to match; the release commits
// and the full-resolution patch takes over. The frame is kept, and each
// change repaints only the part of it the change reaches.
const QImage &CanvasView::paintLiveMarksOverLayer(const QImage &layer, const QTransform &toView, double dpr,
                                                  const QList<Mark> &live) {
  const QTransform toDevice = toView * QTransform::fromScale(dpr, dpr);
  QRect area = layer.rect();
  const bool sameMarks = liveFrame_ && liveFrame_->layerGeneration == layer_.generation() &&
                         liveFrame_->marks.size() == live.size() &&
                         std::equal(live.begin(), live.end(), liveFrame_->marks.begin(),
                                    [](const Mark &a, const Mark &b) { return a.id == b.id; });
  if (sameMarks) {
    area = changedArea(liveFrame_->marks, live, toDevice, layer.rect());
  } else {
    liveFrame_ = LiveFrame{layer_.generation(), live, QImage(layer.size(), QImage::Format_ARGB32_Premultiplied)};
    liveFrame_->image.setDevicePixelRatio(dpr);
  }
  liveFrame_->marks = live;
  if (area.isEmpty())
    return liveFrame_->image;

  QImage &frame = liveFrame_->image;
  QPainter painter(&frame);
  painter.setClipRect(QRectF(QPointF(area.topLeft()) / dpr, QSizeF(area.size()) / dpr));
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(QRectF(QPointF(0, 0), QSizeF(layer.size()) / dpr), layer);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setTransform(toView);
  QList<Mark> run;
  for (const Mark &mark : live) {
    if (mark.tool != MarkTool::blur) {
      run.append(mark);
      continue;
    }
    document_->drawMarks(painter, run);
    run.clear();
    const std::optional<FrameBlur> blur = frameBlur(mark, toDevice, frame.rect());
    if (blur && blur->patch.intersects(area))
      drawBlurFromFrame(painter, frame, mark, *blur, dpr);
  }
  document_->drawMarks(painter, run);
  return frame;
}

void CanvasView::drawWords(QPainter &painter, const QTransform &toView) {
  const MarkTool tool = document_->tool();
  const QColor primary = AppTheme::primary();
  if (tool == MarkTool::extract) {
    for (const geom::Rect &line : RecognizedText::rectangles(document_->selectedWords()))
      painter.fillRect(toView.mapRect(line.toQRectF()), withAlpha(primary, 0.22));
  }
  const bool wordTool =
      tool == MarkTool::highlight || tool == MarkTool::extract || tool == MarkTool::redact || tool == MarkTool::blur;
  if (hoverWord_ && !anchor_ && wordTool) {
    // The margin is in image pixels, the line width in view points.
    painter.setPen(QPen(primary, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(toView.mapRect(hoverWord_->rect.insetBy(-2, -2).toQRectF()));
  }
}

void CanvasView::drawSelectionChrome(QPainter &painter, const QTransform &toView, double s) {
  const Mark *selected = nullptr;
  if (moving_) {
    selected = &*moving_;
  } else if (document_->selection()) {
    const QList<Mark> &marks = document_->marks();
    auto it = std::find_if(marks.begin(), marks.end(), [&](const Mark &m) { return m.id == *document_->selection(); });
    if (it != marks.end())
      selected = &*it;
  }
  if (!selected || (editingTextID_ && selected->id == *editingTextID_))
    return;
  const Mark &mark = *selected;
  const QColor primary = AppTheme::primary();
  const QTransform rotation = rotationTransform(mark);
  const QTransform markToView = rotation * toView;

  geom::Rect box = bounds(mark);
  const geom::Rect visual = localVisualBounds(mark);
  if (!visual.isNull())
    box = box.united(visual);
  const double grow = 6 / s;
  const QRectF outline = box.insetBy(-grow, -grow).toQRectF();

  // Drawn in view points, so line widths and dashes keep their size at every zoom.
  QPen dashed(withAlpha(primary, 0.85), 1.25);
  dashed.setDashPattern({5 / 1.25, 3.5 / 1.25});
  dashed.setDashOffset(0);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(dashed);
  painter.drawPolygon(markToView.map(QPolygonF(outline)));

  QPen solid(withAlpha(primary, 0.85), 1.25);
  painter.setPen(solid);
  const QPointF stalkStart = markToView.map(QPointF(box.midX(), box.minY() - grow));
  painter.drawLine(stalkStart, toView.map(rotationHandle(mark, s)));

  static const QFont glyphFont = [] {
    QFont font;
    font.setPixelSize(14);
    font.setWeight(QFont::DemiBold);
    return font;
  }();
  static const QString glyph = QStringLiteral("\u21BB");
  for (const MarkHandlePoint &handle : selectionHandles(mark, s)) {
    const double radius = handle.handle == MarkHandle::rotation ? 9 : 5.5;
    const QPointF centre = toView.map(handle.point);
    handleShadow_.drawForCircle(painter, centre, radius);
    painter.setPen(QPen(primary, 2));
    painter.setBrush(Qt::white);
    painter.drawEllipse(centre, radius, radius);
    if (handle.handle == MarkHandle::rotation) {
      const QFontMetricsF metrics(glyphFont);
      const QSizeF size(metrics.horizontalAdvance(glyph), metrics.height());
      painter.setFont(glyphFont);
      painter.setPen(primary);
      painter.drawText(centre - QPointF(size.width() / 2, size.height() / 2) + QPointF(0, metrics.ascent()), glyph);
    }
  }
}

void CanvasView::drawTopFade(QPainter &painter) {
  const EditorStageView *stage = nullptr;
  for (QWidget *w = parentWidget(); w && !stage; w = w->parentWidget())
    stage = qobject_cast<EditorStageView *>(w);
  if (!stage)
    return;
  const QRectF stageRect(mapFrom(stage, QPointF(0, 0)), QSizeF(stage->size()));
  const double dpr = deviceScale(painter);
  const QSize bandPixels(int(std::ceil(width() * dpr)), int(std::ceil(fadeBandHeight * dpr)));
  if (fadeBand_.size() != bandPixels || fadeBand_.devicePixelRatio() != dpr || fadeBandStage_ != stageRect) {
    fadeBand_ = QImage(bandPixels, QImage::Format_ARGB32_Premultiplied);
    fadeBand_.setDevicePixelRatio(dpr);
    fadeBand_.fill(Qt::transparent);
    QPainter band(&fadeBand_);
    band.setRenderHint(QPainter::Antialiasing);
    AppTheme::drawStage(band, stageRect, true);
    band.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    QLinearGradient gradient(0, 0, 0, fadeBandHeight);
    gradient.setColorAt(0, QColor::fromRgbF(0, 0, 0, 1));
    gradient.setColorAt(1, QColor::fromRgbF(0, 0, 0, 0));
    band.fillRect(QRectF(0, 0, width(), fadeBandHeight), gradient);
    fadeBandStage_ = stageRect;
  }
  painter.drawImage(QPointF(0, 0), fadeBand_);
}

} // namespace crel
