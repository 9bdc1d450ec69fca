#include "StatusItem.h"

#include "capture/WidgetWindow.h"
#include "platform/desktop/SystemTray.h"

#include <QApplication>
#include <QCursor>
#include <QLoggingCategory>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>

#include <algorithm>
#include <utility>

namespace crel {

namespace {

Q_LOGGING_CATEGORY(lcStatus, "crel.status", QtWarningMsg)

constexpr int trayPixels = 22;

} // namespace

StatusItem::StatusItem(QString applicationName, QObject *parent)
    : QObject(parent), applicationName_(std::move(applicationName)),
      text_(ShellRules::statusText(applicationName_, false, false)) {
  copyFeedback_.setSingleShot(true);
  // A coarse timer may end the feedback up to 5% early.
  copyFeedback_.setTimerType(Qt::PreciseTimer);
  copyFeedback_.setInterval(copyFeedbackMs);
  connect(&copyFeedback_, &QTimer::timeout, this, [this] {
    showingCopied_ = false;
    refresh();
  });
  menuOpenLimit_.setSingleShot(true);
  menuOpenLimit_.setInterval(menuOpenLimitMs);
  connect(&menuOpenLimit_, &QTimer::timeout, this, &StatusItem::clearMenuOpen);
}

StatusItem::~StatusItem() = default;

void StatusItem::setMenu(QMenu *menu) {
  if (menu_)
    disconnect(menu_, nullptr, this, nullptr);
  menu_ = menu;
  if (!menu)
    return;
  connect(menu, &QMenu::aboutToShow, this, [this] { setMenuOpen(true); });
  connect(menu, &QMenu::aboutToHide, this, [this] { setMenuOpen(false); });
}

void StatusItem::showCopyFeedback() {
  copyFeedback_.start(); // restarts a running second
  showingCopied_ = true;
  refresh();
}

void StatusItem::setUpdateKnown(bool known) {
  updateKnown_ = known;
  refresh();
}

void StatusItem::clearMenuOpen() {
  if (menuOpen_)
    setMenuOpen(false);
}

void StatusItem::setMenuOpen(bool open) {
  menuOpen_ = open;
  if (menu_ && !menu_->actions().isEmpty())
    qCInfo(lcStatus).noquote() << (open ? "status menu opened:" : "status menu closed:")
                               << menu_->actions().front()->text();
  if (open) {
    menuOpenLimit_.start();
    Q_EMIT menuOpened();
  } else {
    menuOpenLimit_.stop();
    Q_EMIT menuClosed();
  }
}

void StatusItem::refresh() {
  const ShellRules::StatusText text = ShellRules::statusText(applicationName_, showingCopied_, updateKnown_);
  if (text == text_)
    return;
  text_ = text;
  Q_EMIT changed();
}

TrayPresenter::TrayPresenter(StatusItem &item, QIcon icon, QObject *parent)
    : StatusPresenter(parent), item_(item), icon_(std::move(icon)), tray_(std::make_unique<QSystemTrayIcon>()) {
  connect(&item_, &StatusItem::changed, this, &TrayPresenter::refresh);
  connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::MiddleClick) {
      Q_EMIT item_.reopenRequested();
      return;
    }
    QMenu *menu = item_.menu();
    if (reason != QSystemTrayIcon::Trigger || !menu)
      return;
    const QRect where = tray_->geometry();
    menu->popup(where.isEmpty() ? QCursor::pos() : where.bottomLeft());
  });
  tray_->setContextMenu(item_.menu());
  refresh();
  tray_->show();
  // An XEmbed icon is a window of its own once shown, or Qt waits for a tray
  // to dock it in; a StatusNotifier item has neither.
  const QWidgetList windows = QApplication::topLevelWidgets();
  const QObjectList waits = tray_->children();
  const bool xembed =
      std::any_of(windows.begin(), windows.end(), [](const QWidget *w) { return WidgetWindow::isTrayIcon(*w); }) ||
      std::any_of(waits.begin(), waits.end(), [](const QObject *o) { return o->inherits("QSystemTrayWatcher"); });
  route_ = xembed ? Route::xembed : Route::statusNotifier;
  qCInfo(lcStatus) << "tray icon kind:" << (xembed ? "XEmbed" : "StatusNotifier");
}

TrayPresenter::~TrayPresenter() = default;

void TrayPresenter::refresh() {
  tray_->setIcon(badged(icon_, item_.isShowingCopyFeedback(), item_.isUpdateKnown()));
  tray_->setToolTip(item_.text().accessibilityLabel);
}

QIcon TrayPresenter::badged(const QIcon &icon, bool copied, bool update) {
  QIcon result;
  for (int scale : {1, 2}) {
    const int side = trayPixels * scale;
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    icon.paint(&painter, pixmap.rect());
    const qreal badge = side * 0.5;
    const auto drawBadge = [&](QPointF corner, const QColor &colour, const std::function<void(QPainterPath &)> &mark) {
      const QRectF disc(corner, QSizeF(badge, badge));
      painter.setPen(Qt::NoPen);
      painter.setBrush(colour);
      painter.drawEllipse(disc);
      QPainterPath path;
      mark(path);
      painter.setPen(QPen(Qt::white, side / 12.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      painter.setBrush(Qt::NoBrush);
      painter.drawPath(path.translated(disc.topLeft()));
    };
    if (copied)
      drawBadge({side - badge, side - badge}, QColor(0x2e, 0x9d, 0x4f), [badge](QPainterPath &p) {
        p.moveTo(badge * 0.25, badge * 0.52);
        p.lineTo(badge * 0.43, badge * 0.7);
        p.lineTo(badge * 0.76, badge * 0.32);
      });
    if (update)
      drawBadge({side - badge, 0}, QColor(0x1f, 0x6f, 0xeb), [badge](QPainterPath &p) {
        p.moveTo(badge * 0.5, badge * 0.78);
        p.lineTo(badge * 0.5, badge * 0.24);
        p.moveTo(badge * 0.28, badge * 0.46);
        p.lineTo(badge * 0.5, badge * 0.24);
        p.lineTo(badge * 0.72, badge * 0.46);
      });
    painter.end();
    result.addPixmap(pixmap);
  }
  return result;
}

StatusPresentation::StatusPresentation(StatusItem &item, QIcon icon, TrayWatch watch, QObject *parent)
    : QObject(parent), item_(item), icon_(std::move(icon)), watch_(std::move(watch)) {
  const QString forced = qEnvironmentVariable("CREL_STATUS_ITEM");
  if (forced == QLatin1String("tray") || forced == QLatin1String("none")) {
    const bool tray = forced == QLatin1String("tray");
    use(tray);
    searchEnded_ = !tray;
    if (!tray)
      qCInfo(lcStatus) << "no system tray";
    return;
  }
  if (!watch_.available) {
    desktopTray_ = std::make_unique<SystemTray>();
    watch_.available = [this] { return desktopHoldsIcon(); };
    connect(desktopTray_.get(), &SystemTray::changed, this, &StatusPresentation::look);
  }
  const bool tray = watch_.available();
  use(tray);
  if (!tray && !waitingForWatcher_) // else a tray is there, and its icon waits for the watcher
    qCInfo(lcStatus) << "no system tray";
  // A tray that is there is watched too: it may go.
  poll_.setInterval(tray ? watch_.laterIntervalMs : watch_.intervalMs);
  connect(&poll_, &QTimer::timeout, this, &StatusPresentation::look);
  poll_.start();
}

StatusPresentation::~StatusPresentation() = default;

void StatusPresentation::look() {
  const bool tray = watch_.available();
  // Not said at once: the first answer is on its way when we start.
  if (waitingForWatcher_ && !saidWaiting_)
    qCWarning(lcStatus) << "no tray icon until" << SystemTray::watcherService << "answers: Qt's tray would wait for it";
  saidWaiting_ = waitingForWatcher_;
  if (tray == trayMissing_) {
    use(tray);
    poll_.setInterval(tray || searchEnded_ ? watch_.laterIntervalMs : watch_.intervalMs);
    Q_EMIT trayMissingChanged(trayMissing_);
    return;
  }
  if (tray || ++polls_ < watch_.polls || searchEnded_)
    return;
  // A panel started by hand long after login still gets the icon.
  poll_.setInterval(watch_.laterIntervalMs);
  searchEnded_ = true;
  qCInfo(lcStatus) << "no system tray after" << polls_ << "looks";
  Q_EMIT searchEnded();
}

bool StatusPresentation::desktopHoldsIcon() {
  const SystemTray &tray = *desktopTray_;
  const TrayPresenter::Route route = TrayPresenter::route();
  if (route == TrayPresenter::Route::xembed)
    return tray.hasXEmbedManager(); // Qt reads the watcher no more
  const bool present = route == TrayPresenter::Route::statusNotifier ? tray.hasStatusNotifierHost() : tray.available();
  // Qt reads the watcher on this thread for the first icon and for every
  // StatusNotifier icon, and waits up to 25 s for its answer.
  waitingForWatcher_ = present && !tray.hasWatcherAnswered();
  return present && !waitingForWatcher_;
}

void StatusPresentation::use(bool tray) {
  presenter_ = tray ? std::unique_ptr<StatusPresenter>(std::make_unique<TrayPresenter>(item_, icon_))
                    : std::make_unique<NullPresenter>();
  trayMissing_ = !tray;
  qCInfo(lcStatus) << "status item presenter:" << presenter_->kind();
}

} // namespace crel
