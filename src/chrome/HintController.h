#pragma once

#include "ChromeHint.h"

#include <QList>
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
// Several controls may share an identifier (the wide and compact forms of a
// bar): the bubble belongs to the one under the pointer, or, when shown
// without hovering, to the last attached one that is on show.
class HintController : public QObject {
  Q_OBJECT
public:
  static constexpr int delayMs = 350, warmMs = 600;

  explicit HintController(ChromeClock *clock = nullptr, QObject *parent = nullptr);

  // Attaching a control again replaces its identifier and hint.
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

  // Plain Qt tooltips of the widgets inside `root` show as this
  // controller's bubbles instead, so one window has one look: when Qt asks
  // for a widget's tooltip, the widget is attached with its tooltip as the
  // title (its bubble above it in the lower half of `root`, else below) and
  // shows at once; later hovers follow the hint delays, and the title
  // follows the tooltip's changes.
  void adoptToolTips(QWidget *root);

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
    QString id;
    ChromeHint hint;
  };
  const Entry *entryOf(const QObject *control) const;
  void queueHovered(std::optional<QString> id, QWidget *control);
  // What the tooltip filter does with a tooltip request or change of `w`;
  // true when the event is handled.
  bool toolTipEvent(QWidget *w, QEvent *event);
  void schedule(const std::optional<QString> &id);
  void setVisible(std::optional<QString> id);

  ChromeClock &clock_;
  QPointer<QWidget> toolTipRoot_;
  QObject *toolTipFilter_ = nullptr;
  QList<Entry> entries_; // in the order attached
  std::optional<QString> hovered_, visible_, pending_;
  QPointer<QWidget> hoveredControl_, pendingControl_;
  bool queued_ = false;
  qint64 warmUntil_ = std::numeric_limits<qint64>::min();
  quint64 generation_ = 0;
};

} // namespace crel
