#pragma once

#include "CanvasLayer.h"
#include "SoftShadow.h"

#include "document/CrelDocument.h"
#include "document/Mark.h"
#include "document/MarkHandle.h"
#include "document/RecognizedWord.h"
#include "platform/base/Geometry.h"

#include <QImage>
#include <QList>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <memory>
#include <optional>

namespace crel {

class CanvasInteraction;
class ColorInspection;
class ColorSampling;
class InlineTextEditor;
class WordGestures;

// The view that shows one CrelDocument: places the image between the
// floating chrome (fit, zoom, pan), maps view points to image pixels, and
// paints the paper, the surface, the marks, the mark being drawn and the
// selection chrome through the document's one painting path. It subscribes
// to the document's changes and refreshes on a later turn of the event loop.
//
// Pointer gestures, the keyboard, word gestures, the context menu, inline
// text editing and colour inspection drive the canvas through the gesture
// state below (draft, moving, anchor, edited text). Its input is handled by
// its CanvasInteraction.
class CanvasView : public QWidget {
  Q_OBJECT
public:
  // The document must outlive the canvas or be destroyed with it; a canvas
  // whose document is gone paints nothing and ignores input.
  explicit CanvasView(CrelDocument &document, QWidget *parent = nullptr);
  ~CanvasView() override;

  // Depth-first, pre-order: a canvas nested in an earlier child wins over a
  // later sibling.
  static CanvasView *find(QWidget *root);

  CrelDocument *document() const { return document_; }
  // Pointer, keyboard and context-menu input, and its hooks.
  CanvasInteraction &interaction() const { return *interaction_; }

  // ---- placement (view points)
  geom::Rect fitArea() const;
  // Frozen while a gesture runs; otherwise fitted from the committed marks.
  geom::Rect imageRect() const;
  // View points per image pixel.
  double scale() const;
  // A view point in image pixels; neither rounded nor clamped.
  QPointF point(QPointF viewPoint) const;
  // An image point in view points.
  QPointF viewPoint(QPointF imagePoint) const;

  // Zooms to `zoom` clamped to 1...12 keeping the image point under
  // `location` (the view's centre when none) in place; zoom 1 resets the pan.
  // Does nothing while a gesture runs.
  void setZoom(double zoom, std::optional<QPointF> location = std::nullopt);

  // Rectangles of the floating bars over the canvas, in view points.
  const QList<geom::Rect> &chromeFrames() const { return chromeFrames_; }
  // Always repaints; lays out again only when the frames differ.
  void setChromeFrames(const QList<geom::Rect> &frames);

  // ---- gesture state, owned by the gesture handlers
  const std::optional<Mark> &draft() const { return draft_; }
  void setDraft(const std::optional<Mark> &mark);
  const std::optional<Mark> &moving() const { return moving_; }
  void setMoving(const std::optional<Mark> &mark);
  std::optional<MarkHandle> resizingHandle() const { return resizingHandle_; }
  void setResizingHandle(std::optional<MarkHandle> handle) { resizingHandle_ = handle; }
  // A gesture is in progress while the anchor (image pixels) has a value;
  // beginning one freezes the image rectangle until it ends.
  std::optional<QPointF> anchor() const { return anchor_; }
  void beginGesture(QPointF anchor);
  // Ends the gesture; the frozen image rectangle stays with `keepImageRect`
  // or while an inline text editor is open, and is released when it closes.
  void endGesture(bool keepImageRect = false);
  void releaseInteractionImageRect();
  // The text mark open in the inline editor: neither drawn nor given chrome.
  std::optional<QUuid> editingTextID() const { return editingTextID_; }
  void setEditingTextID(std::optional<QUuid> id);

  // The recognised word under the pointer, outlined for the word tools.
  const std::optional<RecognizedWord> &hoverWord() const { return hoverWord_; }
  void setHoverWord(const std::optional<RecognizedWord> &word);

  // Commits (or with `cancel` discards) an open inline text edit; the
  // document calls it through its finishTextEditing hook.
  void finishText(bool cancel);

  // ---- input handlers the pointer and keyboard dispatch calls into
  WordGestures &wordGestures() { return *wordGestures_; }
  InlineTextEditor &inlineTextEditor() { return *inlineTextEditor_; }
  // The colour under the pointer, shared with the editor's readout.
  ColorInspection &colorInspection() { return *colorInspection_; }
  ColorSampling &colorSampling() { return *colorSampling_; }
  // The pointer hovers at `viewPoint` with no button down (only while the
  // window is active): feeds colour sampling, the hover word and the cursor.
  void hoverAt(QPointF viewPoint, bool spaceHeld);
  // The pointer left the canvas.
  void hoverEnded();

  // The marks as painted now: the committed list without the edited text
  // mark, with the moving copy in its place, the draft last.
  QList<Mark> drawnMarks() const;

  // Paints the whole canvas; paintEvent and offscreen renders come here.
  void paintCanvas(QPainter &painter);
  // Drops the frames kept from one paint to the next (the size of the view
  // and more), for an editor nobody looks at; the next paint builds them
  // again. False when nothing was kept.
  bool releaseCache();

Q_SIGNALS:
  // After each queued refresh that follows a document change.
  void refreshed();
  // After each layout (resize or changed chrome frames).
  void laidOut();

protected:
  bool event(QEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;

private:
  void refreshAfterDocumentChange();
  void relayout();
  void paintPaperAndMarks(QPainter &painter, const QTransform &toView, const geom::Rect &canvasRect,
                          const QList<Mark> &marks);
  const QImage &paintLiveMarksOverLayer(const QImage &layer, const QTransform &toView, double dpr,
                                        const QList<Mark> &live);
  void drawWords(QPainter &painter, const QTransform &toView);
  void drawSelectionChrome(QPainter &painter, const QTransform &toView, double s);
  void drawTopFade(QPainter &painter);

  QPointer<CrelDocument> document_;
  // Declared after the document so it goes first; no event reaches it afterwards.
  std::unique_ptr<CanvasInteraction> interaction_;
  std::optional<Mark> draft_;
  std::optional<Mark> moving_;
  std::optional<MarkHandle> resizingHandle_;
  std::optional<QPointF> anchor_;
  std::optional<geom::Rect> interactionImageRect_;
  std::optional<QUuid> editingTextID_;
  std::optional<RecognizedWord> hoverWord_;
  QList<geom::Rect> chromeFrames_;
  ColorInspection *colorInspection_ = nullptr;
  ColorSampling *colorSampling_ = nullptr;
  WordGestures *wordGestures_ = nullptr;
  InlineTextEditor *inlineTextEditor_ = nullptr;

  SoftShadow paperShadowWide_;
  SoftShadow paperShadowNear_;
  SoftShadow handleShadow_;
  CanvasLayer layer_;
  // The layer with the marks over it, while a blur is among them: kept from
  // frame to frame so that only what a change reaches is painted again.
  struct LiveFrame {
    int layerGeneration = 0;
    QList<Mark> marks;
    QImage image;
  };
  std::optional<LiveFrame> liveFrame_;
  QImage fadeBand_;
  QRectF fadeBandStage_;
};

} // namespace crel
