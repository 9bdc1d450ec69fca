#include "HintController.h"

#include "ChromeClock.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

namespace crel {

namespace {

// Sees every tooltip request and change of the application and hands those
// inside the controller's root to it.
class ToolTipFilter : public QObject {
public:
  ToolTipFilter(std::function<bool(QWidget *, QEvent *)> handle, QObject *parent)
      : QObject(parent), handle_(std::move(handle)) {}

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if ((event->type() == QEvent::ToolTip || event->type() == QEvent::ToolTipChange) && watched->isWidgetType())
      return handle_(static_cast<QWidget *>(watched), event);
    return false;
  }

private:
  std::function<bool(QWidget *, QEvent *)> handle_;
};

const QString helpPrefix = QStringLiteral("help:");

} // namespace

HintController::HintController(ChromeClock *clock, QObject *parent)
    : QObject(parent), clock_(clock ? *clock : ChromeClock::system()) {}

void HintController::attach(QWidget *control, const QString &id, const ChromeHint &hint) {
  if (!control)
    return;
  if (!entryOf(control)) {
    control->installEventFilter(this);
    connect(control, &QObject::destroyed, this, [this, control] {
      entries_.removeIf([control](const Entry &e) { return e.control == control || !e.control; });
    });
  }
  entries_.removeIf([control](const Entry &e) { return e.control == control; });
  entries_.append({control, id, hint});
  if (visible_ == id)
    Q_EMIT visibleChanged();
}

void HintController::detach(QWidget *control) {
  if (!control || !entryOf(control))
    return;
  control->removeEventFilter(this);
  disconnect(control, &QObject::destroyed, this, nullptr);
  const bool shown = visibleAnchor() && visibleAnchor()->control == control;
  entries_.removeIf([control](const Entry &e) { return e.control == control; });
  if (shown)
    Q_EMIT visibleChanged();
}

const HintController::Entry *HintController::entryOf(const QObject *control) const {
  for (const Entry &e : entries_)
    if (e.control == control)
      return &e;
  return nullptr;
}

std::optional<HintController::Anchor> HintController::visibleAnchor() const {
  if (!visible_)
    return std::nullopt;
  if (hoveredControl_ && hovered_ == visible_)
    if (const Entry *e = entryOf(hoveredControl_); e && e->id == *visible_)
      return Anchor{e->hint, e->control};
  const Entry *found = nullptr;
  for (const Entry &e : entries_)
    if (e.control && e.id == *visible_ && (!found || e.control->isVisibleTo(e.control->window())))
      found = &e;
  if (!found)
    return std::nullopt;
  return Anchor{found->hint, found->control};
}

void HintController::setPreviewHint(const QString &id) { setVisible(id); }

void HintController::adoptToolTips(QWidget *root) {
  toolTipRoot_ = root;
  if (!toolTipFilter_) {
    toolTipFilter_ = new ToolTipFilter([this](QWidget *w, QEvent *e) { return toolTipEvent(w, e); }, this);
    qApp->installEventFilter(toolTipFilter_);
  }
}

bool HintController::toolTipEvent(QWidget *w, QEvent *event) {
  if (!toolTipRoot_ || !toolTipRoot_->isAncestorOf(w))
    return false;
  const Entry *entry = entryOf(w);
  const bool help = !entry || entry->id.startsWith(helpPrefix);
  if (event->type() == QEvent::ToolTipChange) {
    if (entry && help) {
      if (w->toolTip().isEmpty())
        detach(w);
      else
        attach(w, entry->id, {w->toolTip(), std::nullopt, entry->hint.edge});
    }
    return false;
  }
  if (!help || w->toolTip().isEmpty())
    return entry != nullptr; // a control with a hint of its own shows only that
  if (!entry) {
    const double middle = w->mapTo(toolTipRoot_, QRectF(w->rect()).center()).y();
    const auto edge = middle > toolTipRoot_->height() / 2.0 ? ChromeHint::Edge::top : ChromeHint::Edge::bottom;
    attach(w, helpPrefix + QString::number(quintptr(w), 16), {w->toolTip(), std::nullopt, edge});
    entry = entryOf(w);
  }
  // Qt asks after the pointer has rested on it: show at once.
  ++generation_;
  hoveredControl_ = w;
  hovered_ = entry->id;
  setVisible(entry->id);
  return true;
}

bool HintController::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
    if (const Entry *entry = entryOf(watched)) {
      const QPointer<QWidget> current = queued_ ? pendingControl_ : hoveredControl_;
      if (event->type() == QEvent::Enter)
        queueHovered(entry->id, entry->control);
      else if (current == watched)
        queueHovered(std::nullopt, nullptr);
    }
  }
  return QObject::eventFilter(watched, event);
}

void HintController::queueHovered(std::optional<QString> id, QWidget *control) {
  pending_ = std::move(id);
  pendingControl_ = control;
  if (queued_)
    return;
  queued_ = true;
  QTimer::singleShot(0, this, [this] {
    queued_ = false;
    const bool moved = hoveredControl_ != pendingControl_;
    hoveredControl_ = pendingControl_;
    // Another control of the same identifier: the bubble moves over to it.
    if (moved && hovered_ == pending_ && visible_ == pending_)
      Q_EMIT visibleChanged();
    setHovered(pending_);
  });
}

void HintController::setHovered(std::optional<QString> id) {
  if (hovered_ == id)
    return;
  hovered_ = std::move(id);
  schedule(hovered_);
}

void HintController::schedule(const std::optional<QString> &id) {
  ++generation_; // cancels a pending delayed show
  if (id) {
    if (clock_.now() < warmUntil_ || visible_) {
      setVisible(id);
      return;
    }
    const quint64 ticket = generation_;
    clock_.after(delayMs, this, [this, ticket, wanted = *id] {
      if (ticket == generation_ && hovered_ == wanted)
        setVisible(wanted);
    });
    return;
  }
  if (visible_)
    warmUntil_ = clock_.now() + warmMs;
  setVisible(std::nullopt);
}

void HintController::setVisible(std::optional<QString> id) {
  if (visible_ == id)
    return;
  visible_ = std::move(id);
  Q_EMIT visibleChanged();
}

} // namespace crel
