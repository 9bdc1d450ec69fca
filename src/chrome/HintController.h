#pragma once

#include "ChromeHint.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <limits>
#include <optional>

namespace crel {

class ChromeClock;

// The one hover hint of a window. Controls are attached with an identifier
// and a hint; the pointer entering one makes it the hovered control, leaving
// clears that only if it is still the hovered one. The visible hint follows:
//  - cold: a hovered control's hint shows after 0.35 s if still hovered;
//  - while a hint shows, or within 0.6 s after the last one hid, a newly
//    hovered control's hint shows at once;
//  - leaving every control hides it and starts that warm period.
// Qt delivers Leave of the old control before Enter of the new one; hover
// changes are applied once per event-loop turn with the latest value, so
// moving to a neighbour switches the hint without hiding it in between.
class HintController : public QObject {
  Q_OBJECT
public:
  static constexpr int delayMs = 350, warmMs = 600;

  explicit HintController(ChromeClock *clock = nullptr, QObject *parent = nullptr);

  // The last registration of an identifier wins.
  void attach(QWidget *control, const QString &id, const ChromeHint &hint);
  void detach(QWidget *control);

  std::optional<QString> hovered() const { return hovered_; }
  std::optional<QString> visible() const { return visible_; }
  // The visible hint and its control, when both exist.
  struct Anchor {
    ChromeHint hint;
    QWidget *control;
  };
  std::optional<Anchor> visibleAnchor() const;

  // For renderers: show `id` without hovering, until the first hover change.
  void setPreviewHint(const QString &id);
  // Applies a hover change now (the event filter queues them).
  void setHovered(std::optional<QString> id);

Q_SIGNALS:
  void visibleChanged();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  struct Entry {
    QPointer<QWidget> control;
    ChromeHint hint;
  };
  void queueHovered(std::optional<QString> id);
  void schedule(const std::optional<QString> &id);
  void setVisible(std::optional<QString> id);

  ChromeClock &clock_;
  QHash<QString, Entry> entries_;
  QHash<QWidget *, QString> ids_;
  std::optional<QString> hovered_, visible_, pending_;
  bool queued_ = false;
  qint64 warmUntil_ = std::numeric_limits<qint64>::min();
  quint64 generation_ = 0;
};

} // namespace crel
