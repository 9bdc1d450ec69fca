#include "HintController.h"

#include "ChromeClock.h"

#include <QEvent>
#include <QTimer>

namespace crel {

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
