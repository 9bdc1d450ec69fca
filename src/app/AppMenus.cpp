#include "AppMenus.h"

#include "WindowRegistry.h"
#include "platform/base/Translate.h"
#include "platform/clipboard/Pasteboard.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace crel {

namespace {

// The focused text field performs the edit command itself; true if there was
// one. A selectable label copies its selection and selects all of itself.
bool editInFocusedField(const char *command) {
  QWidget *focus = QApplication::focusWidget();
  if (auto *label = qobject_cast<QLabel *>(focus); label && label->textInteractionFlags() & Qt::TextSelectableByMouse) {
    if (qstrcmp(command, "copy") == 0 && label->hasSelectedText())
      return Pasteboard::general().replaceWithText(label->selectedText()) || true;
    if (qstrcmp(command, "selectAll") == 0) {
      label->setSelection(0, int(label->text().size()));
      return true;
    }
    return false;
  }
  if (!qobject_cast<QLineEdit *>(focus) && !qobject_cast<QTextEdit *>(focus) && !qobject_cast<QPlainTextEdit *>(focus))
    return false;
  return QMetaObject::invokeMethod(focus, command);
}

} // namespace

AppMenus::Hooks AppMenus::inertHooks(std::function<QString()> captureShortcutLabel) {
  const auto nothing = [] {};
  Hooks hooks{nothing, nothing, nothing, nothing, nothing, nothing,
              nothing, nothing, nothing, nothing, nothing, nothing};
  hooks.captureShortcutLabel = std::move(captureShortcutLabel);
  return hooks;
}

AppMenus::AppMenus(const QString &applicationName, Hooks hooks, QObject *parent)
    : QObject(parent), hooks_(std::move(hooks)), statusMenu_(std::make_unique<QMenu>()),
      screenshotsMenu_(std::make_unique<QMenu>(crel::tr("Open Screenshots"))) {
  buildMainMenus(applicationName);
  buildStatusMenu();
  connect(screenshotsMenu_.get(), &QMenu::aboutToShow, this, [this] {
    if (hooks_.screenshotsNeedUpdate)
      hooks_.screenshotsNeedUpdate();
  });
  setScreenshots({});
}

AppMenus::~AppMenus() = default;

QAction *AppMenus::action(QMenu &menu, const QString &title, const std::function<void()> &hook,
                          const QKeySequence &shortcut) {
  QAction *item = menu.addAction(title);
  item->setEnabled(bool(hook));
  if (hook)
    connect(item, &QAction::triggered, this, [hook] { hook(); });
  if (!shortcut.isEmpty()) {
    item->setShortcut(shortcut);
    item->setShortcutContext(Qt::ApplicationShortcut);
  }
  return item;
}

QAction *AppMenus::addUpdateItem(QMenu &menu) {
  QAction *item = action(menu, crel::tr("Check for Updates…"), hooks_.updateAction);
  item->setData(updateItemTag);
  item->setObjectName(QStringLiteral("update-item"));
  return item;
}

void AppMenus::buildMainMenus(const QString &name) {
  const auto menu = [this](const QString &title) {
    owned_.push_back(std::make_unique<QMenu>(title));
    mainMenus_.append(owned_.back().get());
    return owned_.back().get();
  };
  QMenu &app = *menu(name);
  action(app, crel::tr("About %1").arg(name), hooks_.showWelcome);
  action(app, crel::tr("Settings…"), hooks_.showWelcome, QKeySequence(Qt::CTRL | Qt::Key_Comma));
  addUpdateItem(app);
  app.addSeparator();
  action(app, crel::tr("Quit %1").arg(name), hooks_.quit, QKeySequence(Qt::CTRL | Qt::Key_Q));

  QMenu &file = *menu(crel::tr("File"));
  action(file, crel::tr("New Capture"), hooks_.newCapture, QKeySequence(Qt::CTRL | Qt::Key_N));
  action(file, crel::tr("Open Image…"), hooks_.openImage, QKeySequence(Qt::CTRL | Qt::Key_O));
  action(file, crel::tr("Open Saved Images Folder"), hooks_.openSavedImagesFolder);
  // Object names carry the command each item performs, for the acceptance run's menu lookups.
  action(file, crel::tr("Show in File Manager"), hooks_.revealCurrent, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F))
      ->setObjectName(QStringLiteral("revealCurrent"));
  action(file, crel::tr("Close Window"), hooks_.closeCurrent, QKeySequence(Qt::CTRL | Qt::Key_W));

  QMenu &edit = *menu(crel::tr("Edit"));
  action(edit, crel::tr("Undo"), hooks_.undoCurrent, QKeySequence(Qt::CTRL | Qt::Key_Z))
      ->setObjectName(QStringLiteral("undoCurrent"));
  action(edit, crel::tr("Redo"), hooks_.redoCurrent, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z))
      ->setObjectName(QStringLiteral("redoCurrent"));
  edit.addSeparator();
  const struct {
    const char *title;
    const char *command;
    QKeySequence key;
  } editRows[] = {{"Cut", "cut", QKeySequence(Qt::CTRL | Qt::Key_X)},
                  {"Copy", "copy", QKeySequence(Qt::CTRL | Qt::Key_C)},
                  {"Paste", "paste", QKeySequence(Qt::CTRL | Qt::Key_V)},
                  {"Select All", "selectAll", QKeySequence(Qt::CTRL | Qt::Key_A)}};
  for (const auto &row : editRows) {
    const bool isCopy = qstrcmp(row.command, "copy") == 0;
    const char *command = row.command;
    editItems_.append(action(
        edit, crel::tr(row.title),
        [this, command, isCopy] {
          if (!editInFocusedField(command) && isCopy && hooks_.copy)
            hooks_.copy();
        },
        row.key));
    editItems_.back()->setObjectName(QLatin1String(command));
  }

  mainMenus_.append(windowMenu());

  QMenu &help = *menu(crel::tr("Help"));
  action(help, crel::tr("Keyboard Shortcuts"), hooks_.showShortcuts, QKeySequence(Qt::CTRL | Qt::Key_Question));
}

QWidget *AppMenus::frontWindow() {
  QWidget *window = QApplication::activeWindow();
  return window && WindowRegistry::canBecomeMain(*window) ? window : nullptr;
}

namespace {

// A window asks for its title-bar buttons only when it customises them.
bool offersButton(const QWidget &window, Qt::WindowType button) {
  const Qt::WindowFlags flags = window.windowFlags();
  return !(flags & Qt::CustomizeWindowHint) || (flags & button);
}

bool minimizable(const QWidget &window) { return offersButton(window, Qt::WindowMinimizeButtonHint); }

// A window of one fixed size has nothing to zoom to.
bool zoomable(const QWidget &window) {
  return window.minimumSize() != window.maximumSize() && offersButton(window, Qt::WindowMaximizeButtonHint);
}

} // namespace

QMenu *AppMenus::windowMenu() {
  // Titles stay in English, as the desktop's own window commands do.
  owned_.push_back(std::make_unique<QMenu>(crel::tr("Window")));
  QMenu &menu = *owned_.back();
  action(
      menu, QStringLiteral("Minimize"),
      [] {
        if (QWidget *w = frontWindow(); w && minimizable(*w))
          w->showMinimized();
      },
      QKeySequence(Qt::CTRL | Qt::Key_M));
  action(menu, QStringLiteral("Zoom"), [] {
    if (QWidget *w = frontWindow(); w && zoomable(*w))
      w->isMaximized() ? w->showNormal() : w->showMaximized();
  });
  menu.addSeparator();
  action(menu, QStringLiteral("Bring All to Front"), [] {
    for (QWidget *w : QApplication::topLevelWidgets())
      if (w->isVisible() && WindowRegistry::canBecomeMain(*w))
        w->raise();
  });
  // The open editor windows follow the commands, listed afresh each time.
  const qsizetype commands = menu.actions().size();
  connect(&menu, &QMenu::aboutToShow, this, [this, &menu, commands] {
    if (hooks_.screenshotsNeedUpdate)
      hooks_.screenshotsNeedUpdate();
    for (QAction *listed : menu.actions().mid(commands))
      delete listed;
    if (!screenshots_.empty())
      menu.addSeparator();
    addScreenshotItems(menu);
  });
  return &menu;
}

void AppMenus::buildStatusMenu() {
  QMenu &menu = *statusMenu_;
  captureItem_ = action(menu, crel::tr("Capture an area"), hooks_.newCapture);
  action(menu, crel::tr("Open Image…"), hooks_.openImage);
  action(menu, crel::tr("Open Saved Images Folder"), hooks_.openSavedImagesFolder);
  menu.addMenu(screenshotsMenu_.get());
  menu.addSeparator();
  action(menu, crel::tr("Settings…"), hooks_.showWelcome);
  addUpdateItem(menu);
  action(menu, crel::tr("Quit"), hooks_.quit);
  connect(&menu, &QMenu::aboutToShow, this, &AppMenus::retitleCaptureItem);
}

QMenuBar *AppMenus::addMenuBar(QWidget &window) const {
  auto *bar = new QMenuBar(&window);
  for (QMenu *menu : mainMenus_)
    bar->addMenu(menu);
  return bar;
}

QList<QAction *> AppMenus::shortcutActions() const {
  QList<QAction *> actions;
  for (QMenu *menu : mainMenus_)
    for (QAction *item : menu->actions())
      if (!item->shortcut().isEmpty())
        actions.append(item);
  return actions;
}

bool AppMenus::performKeyEquivalent(const QKeyEvent &event) const {
  const QKeySequence pressed(event.keyCombination());
  for (QAction *item : shortcutActions())
    if (item->isEnabled() && item->shortcut() == pressed) {
      item->trigger();
      return true;
    }
  return false;
}

QList<QAction *> AppMenus::updateItems() const {
  QList<QAction *> items;
  QList<QMenu *> menus = mainMenus_;
  menus.append(statusMenu_.get());
  for (QMenu *menu : menus)
    for (QAction *item : menu->actions())
      if (item->data() == QVariant(updateItemTag))
        items.append(item);
  return items;
}

void AppMenus::setScreenshots(const std::vector<ShellRules::ScreenshotEntry> &entries) {
  screenshots_ = entries;
  QMenu &menu = *screenshotsMenu_;
  menu.clear();
  addScreenshotItems(menu);
  if (entries.empty())
    menu.addAction(crel::tr("No open screenshots"))->setEnabled(false);
}

void AppMenus::addScreenshotItems(QMenu &menu) {
  for (const ShellRules::ScreenshotEntry &entry : screenshots_) {
    QAction *item = menu.addAction(entry.title);
    // A menu item has no mixed state: a minimised window shows a dash instead.
    item->setCheckable(entry.state == Qt::Checked);
    item->setChecked(entry.state == Qt::Checked);
    if (entry.state == Qt::PartiallyChecked)
      item->setText(QStringLiteral("– ") + entry.title);
    item->setData(entry.editor);
    const int editor = entry.editor;
    connect(item, &QAction::triggered, this, [this, editor] {
      if (hooks_.showOpenScreenshot)
        hooks_.showOpenScreenshot(editor);
    });
  }
}

void AppMenus::retitleCaptureItem() {
  QString title = crel::tr("Capture an area");
  if (const QString label = hooks_.captureShortcutLabel ? hooks_.captureShortcutLabel() : QString(); !label.isEmpty())
    title += QStringLiteral("  ") + label;
  captureItem_->setText(title);
}

void AppMenus::refreshUpdateItems(const QString &title, bool enabled) {
  for (QAction *item : updateItems()) {
    item->setText(title);
    item->setEnabled(enabled);
  }
}

} // namespace crel
