#pragma once

#include <QRectF>

#include <functional>
#include <optional>

class QPainter;
class QWidget;

namespace crel {

// Keyboard focus for the windows that are used with Tab (settings, keyboard
// shortcuts). The kit's controls take no focus of their own, so the editor's
// keys stay with its canvas; a window opts its controls in here. A focused
// control shows a ring in the primary colour just outside its shape, unless
// the focus came from a click; Space and Return press it. A widget paints
// only inside itself, so the ring is a widget of its own laid over the
// nearest ancestor that has room for it, following the control.
namespace FocusRing {

// Where the ring goes, in the control's coordinates; no radius: a capsule.
struct Shape {
  QRectF rect;
  std::optional<double> cornerRadius;
};

// A kit control that can be reached with Tab.
class Owner {
public:
  virtual ~Owner() = default;
  virtual Shape focusRingShape() const = 0;
  // Whether Return presses the control now (a recorder taking keys: no).
  virtual bool pressesOnReturn() const { return true; }
};

// Every Owner under `root` becomes reachable with Tab, with its ring.
void enableKeyboardFocus(QWidget &root);
// `control` takes focus by `policy` and shows a ring of `shape`.
void attach(QWidget &control, Qt::FocusPolicy policy, std::function<Shape()> shape);
// Re-reads the shape and place of `control`'s ring.
void refresh(QWidget &control);
// Whether `control`'s ring is on screen now.
bool isShown(const QWidget &control);

// How far the ring reaches past the shape, and the ring itself.
constexpr double reach = 4;
void paint(QPainter &painter, const Shape &shape);

} // namespace FocusRing

} // namespace crel
