#pragma once

#include "CanvasGesture.h"
#include "CanvasInputHooks.h"
#include "CanvasKeyboard.h"

#include "document/MarkTool.h"

#include <QObject>
#include <QPointF>
#include <QSizeF>

#include <memory>
#include <optional>

class QContextMenuEvent;
class QKeyEvent;
class QMouseEvent;

namespace crel {

class CanvasView;
class CrelDocument;

// Turns the pointer, the keyboard and secondary clicks on one canvas into
// document edits. A press picks one gesture (pan, colour copy, word choice,
// a new mark, or a move, resize or rotation of a mark) and the release ends
// it with at most one commit; the gesture itself edits only the canvas's own
// copies. Escape discards them. Installed by the canvas as its event filter:
// mouse moves without the left button are left to the canvas (hover).
//
// Modifiers: Ctrl stands for Command (temporary select tool), Alt for Option
// (colour copy, rotation keys), Shift constrains. Qt reports no change of
// modifiers alone, so the live gesture runs again when a modifier key goes
// down or up.
class CanvasInteraction : public QObject {
  Q_OBJECT
public:
  explicit CanvasInteraction(CanvasView &canvas);
  ~CanvasInteraction() override;

  CanvasView &canvas() const { return canvas_; }
  CanvasInputHooks &hooks() { return hooks_; }

  // ---- gesture state beyond the canvas's own
  bool spaceHeld() const { return spaceHeld_; }
  // Space held: the next press pans. Sets the open hand or the arrow cursor.
  void setSpaceHeld(bool held);
  bool panning() const { return panAnchor_.has_value(); }
  bool copyingColor() const { return copyingColor_; }
  bool textGesture() const { return textGesture_; }
  std::optional<MarkTool> temporaryTool() const { return temporaryTool_; }
  // The pointer's path in image pixels; samples closer than half a view point are skipped.
  const QList<QPointF> &rawPoints() const { return rawPoints_; }

  // Escape: drops the running gesture without committing, the selection and
  // the chosen words. A pan or colour copy still ends with its release.
  void cancel();

  // A press with the word tools chooses recognised words.
  static bool isWordTool(const CrelDocument &document);

  // The context menu for a secondary click at `viewPoint`; none over the chrome.
  std::unique_ptr<QMenu> contextMenu(QPointF viewPoint);

  // Closer than these (view points) a press grabs a handle or hits a mark.
  static constexpr double handleRadius = 10;
  static constexpr double hitTolerance = 7;
  static constexpr double sampleSpacing = 0.5;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void press(QPointF viewPoint, Qt::KeyboardModifiers modifiers, int clickCount);
  void pressSelect(QPointF p, int clickCount);
  void drag(QPointF viewPoint, Qt::KeyboardModifiers modifiers);
  void release(QPointF viewPoint, Qt::KeyboardModifiers modifiers);
  void updateGesture(Qt::KeyboardModifiers modifiers);
  void openText(QPointF p, const std::optional<Mark> &editing);
  bool mouseEvent(QMouseEvent &event);
  bool keyEvent(QKeyEvent &event);

  CanvasView &canvas_;
  CanvasInputHooks hooks_;
  CanvasKeyboard keyboard_;
  std::unique_ptr<CanvasGesture> gesture_;
  std::optional<QPointF> rawPoint_;
  QList<QPointF> rawPoints_;
  bool textGesture_ = false;
  bool spaceHeld_ = false;
  std::optional<QPointF> panAnchor_;
  QSizeF panStart_;
  std::optional<MarkTool> temporaryTool_;
  bool copyingColor_ = false;
};

} // namespace crel
