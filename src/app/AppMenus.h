#pragma once

#include "ShellRules.h"

#include <QKeySequence>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>

class QAction;
class QKeyEvent;
class QMenu;
class QMenuBar;
class QWidget;

namespace crel {

// The application's menus: the main menu (shown as a menu bar where a window
// has room for one) and the status item's menu, over one set of actions whose
// shortcuts work in every window of the application. What each item does
// comes from the hooks; an empty hook leaves its item disabled.
class AppMenus : public QObject {
  Q_OBJECT
public:
  static constexpr int updateItemTag = 710;

  struct Hooks {
    std::function<void()> showWelcome, quit, newCapture, openImage, openSavedImagesFolder, revealCurrent, closeCurrent,
        undoCurrent, redoCurrent, copy, showShortcuts, updateAction;
    // An entry of the open-screenshots submenu was chosen.
    std::function<void(int editor)> showOpenScreenshot;
    // The submenu is about to open and should be rebuilt.
    std::function<void()> screenshotsNeedUpdate;
    // The shortcut label the capture item shows.
    std::function<QString()> captureShortcutLabel;
  };

  // Every item enabled and doing nothing, for renderers and tests of the
  // menus' contents.
  static Hooks inertHooks(std::function<QString()> captureShortcutLabel);

  AppMenus(const QString &applicationName, Hooks hooks, QObject *parent = nullptr);
  ~AppMenus() override;

  QMenu *statusMenu() const { return statusMenu_.get(); }
  QMenu *screenshotsMenu() const { return screenshotsMenu_.get(); }
  // The main menu's menus in order: application, File, Edit, Window, Help.
  const QList<QMenu *> &mainMenus() const { return mainMenus_; }
  // A menu bar with the main menus, for `window`.
  QMenuBar *addMenuBar(QWidget &window) const;
  // The actions with shortcuts; the delegate adds them to each window as it
  // becomes key, so that they fire there.
  QList<QAction *> shortcutActions() const;
  // Triggers the first enabled main-menu item whose shortcut is the key
  // event's combination, leftmost menu first; true when one fired.
  bool performKeyEquivalent(const QKeyEvent &event) const;
  // Every update item (tag 710), application menu first.
  QList<QAction *> updateItems() const;

  // Rebuilds the open-screenshots submenu; the Window menu lists the same
  // entries when it opens.
  void setScreenshots(const std::vector<ShellRules::ScreenshotEntry> &entries);
  // Retitles the capture item with the current shortcut (the status menu
  // does this each time it opens).
  void retitleCaptureItem();
  // Sets every update item's title and enabled state.
  void refreshUpdateItems(const QString &title, bool enabled);

private:
  QAction *action(QMenu &menu, const QString &title, const std::function<void()> &hook,
                  const QKeySequence &shortcut = {});
  QAction *addUpdateItem(QMenu &menu);
  void buildMainMenus(const QString &applicationName);
  void buildStatusMenu();
  QMenu *windowMenu();
  // One item per open screenshot, each bringing its window forward.
  void addScreenshotItems(QMenu &menu);
  static QWidget *frontWindow();

  Hooks hooks_;
  std::unique_ptr<QMenu> statusMenu_;
  std::unique_ptr<QMenu> screenshotsMenu_;
  std::vector<std::unique_ptr<QMenu>> owned_;
  QList<QMenu *> mainMenus_;
  QAction *captureItem_ = nullptr;
  std::vector<ShellRules::ScreenshotEntry> screenshots_;
  // Menu items for the focused text field's own Cut/Copy/Paste/Select All.
  QList<QAction *> editItems_;
};

} // namespace crel
