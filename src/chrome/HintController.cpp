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
  entries_.insert(id, {control, hint});
  ids_.insert(control, id);
  control->installEventFilter(this);
  connect(control, &QObject::destroyed, this, [this, control] { ids_.remove(control); });
  if (visible_ == id)
    Q_EMIT visibleChanged();
}

void HintController::detach(QWidget *control) {
  const QString id = ids_.take(control);
  if (control)
    control->removeEventFilter(this);
  if (entries_.value(id).control == control)
    entries_.remove(id);
}

std::optional<HintController::Anchor> HintController::visibleAnchor() const {
  if (!visible_)
    return std::nullopt;
  const auto found = entries_.find(*visible_);
  if (found == entries_.end() || !found->control)
    return std::nullopt;
  return Anchor{found->hint, found->control};
}

void HintController::setPreviewHint(const QString &id) { setVisible(id); }

bool HintController::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
    const auto found = ids_.constFind(static_cast<QWidget *>(watched));
    if (found != ids_.constEnd()) {
      const std::optional<QString> current = queued_ ? pending_ : hovered_;
      if (event->type() == QEvent::Enter)
        queueHovered(*found);
      else if (current == *found)
        queueHovered(std::nullopt);
    }
  }
  return QObject::eventFilter(watched, event);
}

void HintController::queueHovered(std::optional<QString> id) {
  pending_ = std::move(id);
  if (queued_)
    return;
  queued_ = true;
  QTimer::singleShot(0, this, [this] {
    queued_ = false;
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
