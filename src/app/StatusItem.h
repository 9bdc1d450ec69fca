#pragma once

#include "ShellRules.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class QSystemTrayIcon;

namespace crel {

class SystemTray;

// The status item as a model: its text, accessibility label and menu, and
// whether its menu is open. A presenter shows it (the tray icon) or nothing
// does; the rules that read it (idle, start-up check) need only the model.
class StatusItem : public QObject {
  Q_OBJECT
public:
  static constexpr int copyFeedbackMs = 1000;
  // An open menu whose close the tray host never reports stops counting as
  // open after this long.
  static constexpr int menuOpenLimitMs = 10 * 60 * 1000;

  explicit StatusItem(QString applicationName, QObject *parent = nullptr);
  ~StatusItem() override;

  const ShellRules::StatusText &text() const { return text_; }
  bool isShowingCopyFeedback() const { return showingCopied_; }
  bool isUpdateKnown() const { return updateKnown_; }
  bool isMenuOpen() const { return menuOpen_; }

  // The menu the item opens; its aboutToShow/aboutToHide keep isMenuOpen.
  void setMenu(QMenu *menu);
  QMenu *menu() const { return menu_; }

  // "Copied" for one second after the last call.
  void showCopyFeedback();
  void setUpdateKnown(bool known);
  // One of our windows became active: a menu that is still marked open
  // cannot be.
  void clearMenuOpen();

Q_SIGNALS:
  void changed();
  void menuOpened();
  void menuClosed();
  // The icon was activated without its menu (a middle click): the
  // application should come forward as if launched again.
  void reopenRequested();

private:
  void refresh();
  void setMenuOpen(bool open);

  QString applicationName_;
  ShellRules::StatusText text_;
  bool showingCopied_ = false;
  bool updateKnown_ = false;
  bool menuOpen_ = false;
  QPointer<QMenu> menu_;
  QTimer copyFeedback_;
  QTimer menuOpenLimit_;
};

// Shows a status item on screen, or does not.
class StatusPresenter : public QObject {
  Q_OBJECT
public:
  using QObject::QObject;
  virtual QString kind() const = 0;
};

// The status item in the system tray: the application icon at 22 px with a
// badge for "Copied" and for a known update (a tray shows no text), the
// accessibility label as tooltip, the menu on either click.
class TrayPresenter final : public StatusPresenter {
  Q_OBJECT
public:
  // The kind of tray Qt's icons go to. Qt picks it once per process, at its
  // first icon: StatusNotifier when the watcher then says a host is
  // registered, XEmbed otherwise.
  enum class Route { unknown, statusNotifier, xembed };

  TrayPresenter(StatusItem &item, QIcon icon, QObject *parent = nullptr);
  ~TrayPresenter() override;
  QString kind() const override { return QStringLiteral("tray"); }
  QSystemTrayIcon &trayIcon() const { return *tray_; }
  // As told from the last icon Qt made.
  static Route route() { return route_; }

  // The icon with the item's badges, at 22 px.
  static QIcon badged(const QIcon &icon, bool copied, bool update);

private:
  void refresh();

  static inline Route route_ = Route::unknown;
  StatusItem &item_;
  QIcon icon_;
  std::unique_ptr<QSystemTrayIcon> tray_;
};

// Nothing on screen: no tray is there to hold the item.
class NullPresenter final : public StatusPresenter {
  Q_OBJECT
public:
  using StatusPresenter::StatusPresenter;
  QString kind() const override { return QStringLiteral("none"); }
};

// How the tray is looked for: whether one of the kind Qt's icon goes to is
// there now (when empty, the desktop's answer, SystemTray, which also says
// at once when it changes), how often, and how many looks without one end
// the search for a panel that is still starting. `available` must answer
// without waiting.
struct TrayWatch {
  std::function<bool()> available;
  int intervalMs = 2000;
  int polls = 60;
  int laterIntervalMs = 30000;
};

// Keeps the item shown the best way there is: the tray when one exists,
// nothing otherwise, following a tray that appears (a login launch starts
// before the panel) and one that goes. Whether a tray exists is known from
// the start; without one, it is looked for every two seconds for two
// minutes, the search then ends, and it is looked for again now and then.
// CREL_STATUS_ITEM=tray or none forces the choice.
class StatusPresentation : public QObject {
  Q_OBJECT
public:
  StatusPresentation(StatusItem &item, QIcon icon, TrayWatch watch = {}, QObject *parent = nullptr);
  ~StatusPresentation() override;
  StatusPresenter &presenter() const { return *presenter_; }
  // No tray holds the item now: texts must not send anyone there.
  bool isTrayMissing() const { return trayMissing_; }
  // Two minutes went by without a tray, or the choice was forced.
  bool hasSearchEnded() const { return searchEnded_; }

Q_SIGNALS:
  void trayMissingChanged(bool missing);
  // The search ended without a tray (once; not for a forced choice).
  void searchEnded();

private:
  // The tray icon, or nothing; the item is missing from the tray without it.
  void use(bool tray);
  void look();
  bool desktopHoldsIcon();

  StatusItem &item_;
  QIcon icon_;
  TrayWatch watch_;
  std::unique_ptr<SystemTray> desktopTray_;
  std::unique_ptr<StatusPresenter> presenter_;
  QTimer poll_;
  int polls_ = 0;
  bool trayMissing_ = false;
  bool searchEnded_ = false;
  bool waitingForWatcher_ = false;
  bool saidWaiting_ = false;
};

} // namespace crel
