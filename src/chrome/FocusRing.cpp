#include "FocusRing.h"

#include "ChromeColors.h"
#include "ChromeShape.h"

#include <QAbstractButton>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>

namespace crel::FocusRing {

namespace {

// The ring's band, outside the shape: a hairline of the window between, so
// it reads apart from a control filled with the same colour.
constexpr double gap = 1, band = 2.5;
static_assert(gap + band <= reach);

const QString keeperName = QStringLiteral("crel-focus-ring");

class RingView final : public QWidget {
public:
  explicit RingView(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
  }
  void setShape(const Shape &shape) {
    shape_ = shape;
    update();
  }

protected:
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter, shape_);
  }

private:
  Shape shape_;
};

// Follows one control: whether its focus came from the keyboard, where it
// is, and Return.
class Keeper final : public QObject {
public:
  Keeper(QWidget &control, std::function<Shape()> shape)
      : QObject(&control), control_(control), shape_(std::move(shape)) {
    setObjectName(keeperName);
    control.installEventFilter(this);
  }
  ~Keeper() override { delete ring_; }

  void setShape(std::function<Shape()> shape) {
    shape_ = std::move(shape);
    refresh();
  }
  bool shown() const { return ring_ && ring_->isVisible(); }

  void refresh() {
    if (!control_.hasFocus() || !keyboard_ || !control_.isVisible()) {
      if (ring_)
        ring_->hide();
      return;
    }
    const Shape shape = shape_();
    const QRectF outer = shape.rect.adjusted(-reach, -reach, reach, reach);
    // The nearest ancestor the ring fits in, so no parent's edge cuts it.
    QWidget *host = control_.parentWidget();
    QPointF origin = control_.pos();
    while (!host->isWindow() && host->parentWidget() && !QRectF(host->rect()).contains(outer.translated(origin))) {
      // A parent moved by a layout moves the control within the host too.
      host->installEventFilter(this);
      origin += host->pos();
      host = host->parentWidget();
    }
    if (ring_ && ring_->parentWidget() != host)
      delete ring_;
    if (!ring_)
      ring_ = new RingView(host);
    const QRect geometry = outer.translated(origin).toAlignedRect();
    ring_->setGeometry(geometry);
    ring_->setShape({shape.rect.translated(origin - QPointF(geometry.topLeft())), shape.cornerRadius});
    ring_->raise();
    ring_->show();
  }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (watched != &control_) {
      if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        refresh();
      return false;
    }
    switch (event->type()) {
    case QEvent::FocusIn: {
      // Coming back to the window, or from a menu, keeps what the focus was.
      const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
      if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
        keyboard_ = reason != Qt::MouseFocusReason;
      refresh();
      break;
    }
    case QEvent::FocusOut:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ParentChange: refresh(); break;
    case QEvent::KeyPress: return pressOnReturn(*static_cast<QKeyEvent *>(event));
    default: break;
    }
    return false;
  }

private:
  // Return and Enter press a button as Space does.
  bool pressOnReturn(const QKeyEvent &key) {
    auto *button = qobject_cast<QAbstractButton *>(&control_);
    const auto *owner = dynamic_cast<const Owner *>(&control_);
    if (!button || (owner && !owner->pressesOnReturn()) || !button->isEnabled())
      return false;
    if ((key.key() != Qt::Key_Return && key.key() != Qt::Key_Enter) ||
        (key.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
      return false;
    if (!key.isAutoRepeat())
      button->animateClick();
    return true;
  }

  QWidget &control_;
  std::function<Shape()> shape_;
  QPointer<RingView> ring_;
  bool keyboard_ = false;
};

Keeper *keeperOf(const QWidget &control) { return control.findChild<Keeper *>(keeperName, Qt::FindDirectChildrenOnly); }

} // namespace

void attach(QWidget &control, Qt::FocusPolicy policy, std::function<Shape()> shape) {
  control.setFocusPolicy(policy);
  if (Keeper *keeper = keeperOf(control))
    keeper->setShape(std::move(shape));
  else
    new Keeper(control, std::move(shape));
}

void enableKeyboardFocus(QWidget &root) {
  for (QWidget *widget : root.findChildren<QWidget *>())
    if (const auto *owner = dynamic_cast<const Owner *>(widget))
      attach(*widget, Qt::TabFocus, [owner] { return owner->focusRingShape(); });
}

void refresh(QWidget &control) {
  if (Keeper *keeper = keeperOf(control))
    keeper->refresh();
}

bool isShown(const QWidget &control) {
  const Keeper *keeper = keeperOf(control);
  return keeper && keeper->shown();
}

void paint(QPainter &painter, const Shape &shape) {
  const double out = gap + band / 2;
  const QRectF rect = shape.rect.adjusted(-out, -out, out, out);
  const std::optional<double> radius =
      shape.cornerRadius ? std::optional(ChromeShape::effectiveRadius(shape.rect, shape.cornerRadius) + out)
                         : std::nullopt;
  painter.strokePath(ChromeShape::path(rect, radius),
                     QPen(ChromeColors::withAlpha(ChromeColors::primary(), 0.6), band));
}

} // namespace crel::FocusRing
