#include "AppDelegate.h"

#include "Alerts.h"
#include "BindingAdvice.h"
#include "CrelApplication.h"
#include "ForwardedLaunch.h"
#include "ImageOpening.h"
#include "LaunchAtLogin.h"
#include "NoTrayNotice.h"
#include "QuitController.h"
#include "SessionRestore.h"
#include "SessionStore.h"
#include "ShortcutGuide.h"
#include "ShortcutManager.h"
#include "UpdateService.h"
#include "WelcomeView.h"
#include "WindowPresentation.h"
#include "capture/CaptureCoordinator.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "document/CrelStorage.h"
#include "document/EditorSizePreferences.h"
#include "editor/EditorController.h"
#include "editor/EditorView.h"
#include "editor/EditorWindow.h"
#include "editor/GlassSurface.h"
#include "platform/base/Translate.h"
#include "platform/desktop/FolderOpener.h"
#include "platform/desktop/NotificationCenter.h"
#include "platform/display/SwayFullScreen.h"
#include "platform/display/DisplayLoss.h"
#include "platform/files/AppIdentity.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QLayout>
#include <QLoggingCategory>
#include <QMenuBar>
#include <QMessageBox>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QSessionManager>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <new>

namespace crel {

namespace {

Q_LOGGING_CATEGORY(lcShell, "crel.shell", QtInfoMsg)

} // namespace

AppDelegate::AppDelegate(AppServices services, QObject *parent)
    : QObject(parent), services_(std::move(services)), statusItem_(AppIdentity::name()) {
  lastInteraction_ = now();
  QuitController::Hooks quit;
  quit.updatePending = [this] { return services_.updates.installsOnQuit(); };
  quit.saveUpdateSession = [this] {
    // A write that fails after one that held leaves editors out: no install.
    updateSessionSaved_ = false;
    services_.session.save(editors_);
    updateSessionSaved_ = true;
  };
  quit.busy = [this] { return isBusy(); };
  quit.report = [this](const std::exception_ptr &error) { report(error); };
  quit.cancelCapture = [this] { services_.capture.cancel(); };
  quit.editors = [this] { return quitEditors(); };
  quit.terminate = [this] {
    quitAccepted_ = true;
    updateWaits_ = services_.updates.installsOnQuit();
    QCoreApplication::exit(0);
  };
  quit_ = std::make_unique<QuitController>(std::move(quit));
  connect(quit_.get(), &QuitController::answered, this, [this](bool quits) {
    if (!quits)
      quitCancelled();
  });
  makeMenus();
  // A tray host may never report that its menu closed; any of our windows
  // becoming active proves it did.
  connect(&windows_, &WindowRegistry::windowActivated, &statusItem_, &StatusItem::clearMenuOpen);
  // The menu's keys act in whichever of our windows is key: a shortcut
  // fires only where its action belongs to a visible window.
  // Each once: adding an action the window holds already takes it out and
  // puts it back, two events each on every activation.
  connect(&windows_, &WindowRegistry::windowActivated, this, [this] {
    QWidget *main = windows_.mainWindow();
    if (!main || !launched())
      return;
    const QList<QAction *> held = main->actions();
    for (QAction *action : menus_->shortcutActions())
      if (!held.contains(action))
        main->addAction(action);
  });
  // The settings coming forward count as opening them: the shortcut is tried
  // again, in case the program that held it let go, and the login item read
  // again. Qt on X11 stays active once the window with the keyboard closed,
  // so the application's next activation may bring no state change at all.
  connect(&windows_, &WindowRegistry::windowActivated, this, [this] {
    if (!welcome_ || !welcome_->windowHandle() || welcome_->windowHandle() != QGuiApplication::focusWindow())
      return;
    services_.shortcuts.retry();
    services_.login.refreshStatus();
  });
  const auto menuMoved = [this] { touch(); };
  connect(&statusItem_, &StatusItem::menuOpened, this, menuMoved);
  connect(&statusItem_, &StatusItem::menuClosed, this, menuMoved);
  connect(&statusItem_, &StatusItem::reopenRequested, this, [this] {
    touch();
    reopen();
  });
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
    if (state != Qt::ApplicationActive)
      return;
    services_.login.refreshStatus();
    touch();
    yieldActivation();
  });
}

AppDelegate::~AppDelegate() {
  if (CrelApplication *app = CrelApplication::instance())
    app->setQuitRoad({});
  if (launched())
    DisplayLoss::setHandler({});
  // The run is over (quit, logout, a signal): a change still waiting for its
  // debounced save is written now, not lost with its editor.
  writePendingSaves();
  // Editors go before the menus and status item their callbacks reach.
  editors_.clear();
  delete welcome_;
  delete shortcuts_;
}

void AppDelegate::writePendingSaves() {
  for (const auto &editor : editors_) {
    try {
      editor->document().flushAutosave();
    } catch (const std::exception &error) {
      qCWarning(lcShell).noquote() << QStringLiteral("%1: %2").arg(AppIdentity::name(),
                                                                   QString::fromUtf8(error.what()));
    }
  }
}

// The most pixels an open editor flattens when it saves: what images opened
// now must leave room for.
double AppDelegate::largestCanvas() const {
  double pixels = 0;
  for (const auto &editor : editors_) {
    const geom::Rect canvas = editor->document().expandedBounds(editor->document().marks());
    pixels = std::max(pixels, canvas.width() * canvas.height());
  }
  return pixels;
}

QDateTime AppDelegate::now() const { return services_.clock ? services_.clock() : QDateTime::currentDateTimeUtc(); }

bool AppDelegate::applicationActive() const { return QGuiApplication::applicationState() == Qt::ApplicationActive; }

void AppDelegate::launch(const LaunchOptions &options) {
  launchedAtLogin_ = options.launchedAtLogin;
  launching_ = true;
  const auto launched = qScopeGuard([this] { launching_ = false; });
  if (CrelApplication *app = CrelApplication::instance()) {
    app->setActivationPolicy(ActivationPolicy::regular);
    // A logout, `kill` or Ctrl+C in the terminal is a quit like any other.
    app->setQuitRoad([self = QPointer<AppDelegate>(this)] {
      self ? void(self->requestQuit(QuitController::From::desktop)) : QCoreApplication::quit();
    });
  }
  // Without a display the process ends at once; a document's PNG needs none.
  DisplayLoss::setHandler([this] {
    qCWarning(lcShell) << "the display is gone: writing pending saves";
    writePendingSaves();
  });
  connect(
      qApp, &QGuiApplication::commitDataRequest, this,
      [this](QSessionManager &manager) {
        if (!endSession([&manager] { return manager.allowsInteraction(); }))
          manager.cancel();
      },
      Qt::DirectConnection);
  setupMenus();
  try {
    services_.login.start();
  } catch (...) {
    report(std::current_exception());
  }
  services_.updates.setRules([self = QPointer<AppDelegate>(this)] { return self && self->isBusy(); },
                             [self = QPointer<AppDelegate>(this)] { return self && self->isIdle(); });
  connect(&services_.updates, &UpdateService::changed, this, &AppDelegate::refreshUpdateItems);
  connect(&services_.updates, &UpdateService::quitRequested, this, &AppDelegate::quitForUpdate);
  refreshUpdateItems();
  services_.updates.start();
  services_.shortcuts.setOnCapture(this, [this] { newCapture(); });
  services_.capture.setOnImage(this, [this](const QImage &image, const CaptureSource &source) {
    EditorController &editor = showEditor(image, source);
    connect(&editor, &EditorController::firstFrameShown, &services_.capture, &CaptureCoordinator::tearDownPanels);
    // A full-screen window that made way for the overlay has it back once
    // the editor it would have hidden is done.
    if (std::function<void()> giveBack = SwayFullScreen::takeParked())
      connect(&editor, &EditorController::closed, this, giveBack);
  });
  services_.capture.setOnError(this, [this](const std::exception_ptr &error) { report(error); });
  services_.capture.setOnPermissionRequired(this, [this] { showPermission(); });
  advice_ = std::make_unique<BindingAdvice>(
      services_.shortcuts, services_.capture, windows_, *quit_,
      BindingAdvice::Hooks{[this] { return trayMissing(); }, [this](const QString &advice) { report(advice); }});
  services_.shortcuts.retry();

  bool sessionExisted = false;
  if (!options.isolatedTest)
    sessionExisted = SessionRestore::restore(
        services_.session, {[this](std::unique_ptr<EditorController> editor) { connectEditor(std::move(editor)); },
                            [this](const QString &message) { report(message); }});

  if (options.openPaths.isEmpty())
    return finishLaunch(options, sessionExisted, {});
  // Read away from the main thread, as a later launch's files are, so the
  // instance answers meanwhile; the ending is chosen once they are read:
  // an opened image is an editor, not a reason for the settings.
  ImageOpening::openInBackground(options.openPaths, this, services_.readImage, services_.memoryRoom, largestCanvas(),
                                 [this, options, sessionExisted](const std::vector<ImageOpening::Outcome> &outcomes) {
                                   launching_ = true;
                                   const auto launched = qScopeGuard([this] { launching_ = false; });
                                   const Opened opened = openOutcomes(options.openPaths, outcomes, options.notOpened);
                                   finishLaunch(options, sessionExisted, opened);
                                 });
}

void AppDelegate::finishLaunch(const LaunchOptions &options, bool sessionExisted, const Opened &files) {
  // Said after the launch's own window is up, so the alerts land on top of it.
  const QString shortcutProblem = advice_->takeLaunchProblem();
  switch (WindowPresentation::launchEnd(options.capture, options.launchedAtLogin, sessionExisted, !editors_.empty())) {
  case WindowPresentation::LaunchEnd::capture: QTimer::singleShot(0, this, &AppDelegate::newCapture); break;
  case WindowPresentation::LaunchEnd::handBack:
    // What the launch had to say stays in front of the user.
    if (reportedAtLaunch_ || !files.problem.isEmpty())
      break;
    yieldActivationUntil_ = now().addMSecs(yieldWindowMs);
    if (applicationActive())
      yieldActivation();
    break;
  case WindowPresentation::LaunchEnd::settings: showWelcome(); break;
  case WindowPresentation::LaunchEnd::nothing: break;
  }
  showOpened(files);
  if (!shortcutProblem.isEmpty())
    report(shortcutProblem);
  advice_->launchEnded();
}

void AppDelegate::makeMenus() {
  AppMenus::Hooks hooks;
  hooks.showWelcome = [this] { showWelcome(); };
  hooks.newCapture = [this] { newCapture(); };
  hooks.openSavedImagesFolder = [this] { openSavedImagesFolder(); };
  hooks.revealCurrent = [this] { revealCurrent(); };
  hooks.closeCurrent = [this] { closeCurrent(); };
  hooks.undoCurrent = [this] { undoCurrent(); };
  hooks.redoCurrent = [this] { redoCurrent(); };
  hooks.copy = [this] { copyCurrent(); };
  hooks.updateAction = [this] { services_.updates.menuAction(); };
  hooks.showOpenScreenshot = [this](int entry) { showOpenScreenshot(entry); };
  hooks.screenshotsNeedUpdate = [this] { refreshOpenScreenshotsMenu(); };
  hooks.captureShortcutLabel = [this] {
    // The menu is opening: a shortcut another program let go of works again.
    services_.shortcuts.retry();
    // Where only the desktop binds keys, the item names none; the settings say how.
    if (services_.shortcuts.problem() == ShortcutManager::Problem::desktopBinding)
      return QString();
    return services_.shortcuts.statusLabel();
  };
  hooks.openImage = [this] { openImage(); };
  hooks.showShortcuts = [this] { showShortcuts(); };
  hooks.quit = [this] { requestQuit(); };
  menus_ = std::make_unique<AppMenus>(AppIdentity::name(), std::move(hooks));
}

void AppDelegate::setupMenus() {
  if (launched())
    return;
  statusItem_.setMenu(menus_->statusMenu());
  presentation_ = std::make_unique<StatusPresentation>(statusItem_, AppIdentity::icon(), services_.tray);
  connect(presentation_.get(), &StatusPresentation::trayMissingChanged, this, [this](bool missing) {
    if (view_)
      view_->setTrayMissing(missing);
  });
  connect(presentation_.get(), &StatusPresentation::searchEnded, this, &AppDelegate::trayNotFound);
  // Known at once when forced: said once the launch is done, with the shortcut it registered.
  if (presentation_->hasSearchEnded())
    QMetaObject::invokeMethod(this, &AppDelegate::trayNotFound, Qt::QueuedConnection);
  refreshOpenScreenshotsMenu();
}

void AppDelegate::trayNotFound() {
  // A login launch shows nothing else: without a tray, nothing at all would say it runs.
  if (!trayMissing() || !launchedAtLogin_)
    return;
  if (!noTrayNotice_)
    noTrayNotice_ = std::make_unique<NoTrayNotice>(services_.notifications, [this] { reopen(); });
  noTrayNotice_->post(services_.shortcuts.isRegistered() ? services_.shortcuts.statusLabel() : QString());
}

void AppDelegate::newCapture() {
  touch();
  std::vector<std::unique_ptr<ShellWindow>> holder;
  const ShellRules::Windows windows = shellWindows(holder);
  if (const ShellWindow *withSheet = ShellRules::firstWithSheet(windows)) {
    const_cast<ShellWindow *>(withSheet)->makeKeyAndOrderFront();
    QApplication::beep();
    return;
  }
  // An alert above everything holds the application until it is answered:
  // the capture follows then, or its stills would hold the alert.
  if (QMessageBox *alert = Alerts::applicationModal()) {
    WindowRegistry::present(*alert);
    if (!std::exchange(captureWaits_, true)) {
      // The window manager takes the alert's frame away in its own time.
      const auto resume = [this] {
        if (std::exchange(captureWaits_, false))
          QTimer::singleShot(afterAlertMs, this, &AppDelegate::newCapture);
      };
      connect(alert, &QDialog::finished, this, resume);
      connect(alert, &QObject::destroyed, this, resume);
    }
    return;
  }
  services_.capture.begin();
}

EditorController &AppDelegate::showEditor(const QImage &image, const CaptureSource &source) {
  auto editor = EditorController::open(image, source, services_.picturesFolder);
  EditorController &shown = *editor;
  connectEditor(std::move(editor));
  shown.present();
  Q_EMIT editorShown(&shown);
  return shown;
}

void AppDelegate::connectEditor(std::unique_ptr<EditorController> editor) {
  connect(editor.get(), &EditorController::closed, this, &AppDelegate::editorClosed);
  connect(editor.get(), &EditorController::copied, &statusItem_, &StatusItem::showCopyFeedback);
  if (editor->view())
    editor->view()->setShortcutGuide(
        [self = QPointer<AppDelegate>(this)] { return self ? self->shortcutGuide() : ShortcutGuideView::Content{}; });
  connected_.emplace_back(editor.get());
  editors_.push_back(std::move(editor));
  refreshOpenScreenshotsMenu();
}

void AppDelegate::editorClosed(EditorController *editor) {
  const auto it = std::find_if(editors_.begin(), editors_.end(), [editor](const auto &e) { return e.get() == editor; });
  if (it != editors_.end()) {
    // The controller is still emitting: it goes once control is back in the loop.
    it->release()->deleteLater();
    editors_.erase(it);
  }
  touch();
  refreshOpenScreenshotsMenu();
}

ShellRules::Windows AppDelegate::shellWindows(std::vector<std::unique_ptr<ShellWindow>> &holder) const {
  holder = windows_.windows();
  ShellRules::Windows windows;
  for (const auto &w : holder)
    windows.push_back(w.get());
  return windows;
}

EditorController *AppDelegate::currentEditor() const {
  std::vector<std::unique_ptr<ShellWindow>> holder;
  ShellRules::Windows windows;
  for (const auto &editor : editors_) {
    holder.push_back(windows_.adapter(editor->window()));
    windows.push_back(holder.back().get());
  }
  const int index = ShellRules::currentEditor(windows);
  return index < 0 ? nullptr : editors_[size_t(index)].get();
}

bool AppDelegate::isBusy() const {
  std::vector<std::unique_ptr<ShellWindow>> holder;
  return ShellRules::isBusy(services_.capture.phase() == CaptureCoordinator::Phase::idle,
                            QApplication::activeModalWidget() != nullptr, shellWindows(holder));
}

bool AppDelegate::isIdle() const {
  std::vector<std::unique_ptr<ShellWindow>> holder;
  ShellRules::IdleState state;
  state.now = now();
  state.lastInteraction = lastInteraction_;
  state.captureIdle = services_.capture.phase() == CaptureCoordinator::Phase::idle;
  state.hasEditors = !editors_.empty();
  const ShellRules::Windows windows = shellWindows(holder);
  // Qt on X11 may keep the application active once its last window is
  // gone: only a window of ours on screen with the keyboard counts.
  state.applicationActive = std::any_of(windows.begin(), windows.end(),
                                        [](const ShellWindow *w) { return ShellRules::onScreen(*w) && w->isKey(); });
  state.statusMenuOpen = statusItem_.isMenuOpen();
  return ShellRules::isIdle(state, windows);
}

void AppDelegate::refreshUpdateItems() {
  UpdateService &updates = services_.updates;
  menus_->refreshUpdateItems(updates.menuTitle(),
                             updates.canCheck() || (updates.hasStagedInstall() && !updates.isInstalling()));
  statusItem_.setUpdateKnown(updates.isUpdateKnown());
}

void AppDelegate::quitForUpdate() {
  switch (quit_->requestQuit()) {
  case QuitController::Reply::now: return;
  case QuitController::Reply::cancel: services_.updates.quitRefused(); return;
  case QuitController::Reply::later: updateQuitWaits_ = true; return;
  }
}

void AppDelegate::showWelcome() {
  if (!welcome_) {
    auto *window = new QWidget;
    window->setObjectName(QLatin1String(WindowPresentation::settings));
    window->setWindowTitle(AppIdentity::name());
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    const QPointer<AppDelegate> self(this);
    WelcomeView::Actions actions{
        [self] { self ? self->newCapture() : void(); }, [self] { self ? self->openImage() : void(); },
        [self] { self ? self->openSavedImagesFolder() : void(); },
        [&updates = services_.updates](QWidget *parent) { return updates.settingsSection(parent); }};
    view_ = new WelcomeView(services_.shortcuts, services_.login, AnnotationPreferences::shared(),
                            EditorSizePreferences::shared(), std::move(actions));
    view_->setTrayMissing(trayMissing());
    const QScreen *screen = QGuiApplication::primaryScreen();
    const std::optional<int> available = screen ? std::optional(screen->availableGeometry().height()) : std::nullopt;
    QScrollArea *scroll = WelcomeView::scrollArea(view_);
    scroll->setFixedSize(ShellRules::welcomeWidth, ShellRules::welcomeHeight(available));
    GlassSurface::install(scroll, *window);
    // The desktop has no global menu bar: the window carries the main menus.
    if (launched())
      window->layout()->setMenuBar(menus_->addMenuBar(*window));
    // Titled, closable and minimisable; the content scrolls within one size,
    // so the window is neither resized nor maximised.
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    window->setFixedSize(window->sizeHint());
    if (screen)
      window->move(screen->availableGeometry().center() - window->rect().center());
    welcome_ = window;
  }
  services_.updates.refreshNotificationPermission();
  services_.login.refreshStatus();
  services_.shortcuts.retry();
  WindowRegistry::present(*welcome_);
}

ShortcutGuideView::Content AppDelegate::shortcutGuide() const {
  const ShortcutManager &shortcuts = services_.shortcuts;
  // Where only the desktop can bind the key, the guide says so instead.
  const QString capture = shortcuts.problem() == ShortcutManager::Problem::desktopBinding
                              ? shortcuts.statusLabel()
                              : ShortcutGuide::captureLine(shortcuts.statusLabel());
  return ShortcutGuide::content(capture, launched() ? menus_->mainMenus() : QList<QMenu *>{});
}

void AppDelegate::showShortcuts() {
  if (!shortcuts_) {
    shortcuts_ = ShortcutGuide::window(
        [self = QPointer<AppDelegate>(this)] { return self ? self->shortcutGuide() : ShortcutGuideView::Content{}; });
    if (const QScreen *screen = QGuiApplication::primaryScreen())
      shortcuts_->move(screen->availableGeometry().center() - shortcuts_->rect().center());
  }
  ShortcutGuide::present(*shortcuts_, applicationActive());
}

void AppDelegate::yieldActivation() {
  if (!yieldActivationUntil_)
    return;
  const QDateTime deadline = *yieldActivationUntil_;
  yieldActivationUntil_.reset();
  std::vector<std::unique_ptr<ShellWindow>> holder;
  const ShellRules::Windows windows = shellWindows(holder);
  if (!ShellRules::shouldYieldActivation(now(), deadline, !editors_.empty(), windows))
    return;
  // X11 cannot hide an application; what it has on screen is its panels.
  // A dialog is there to be answered or read: it stays.
  for (const auto &window : holder)
    if (window->isVisible() && !qobject_cast<const QDialog *>(static_cast<const WidgetWindow &>(*window).widget()))
      window->orderOut();
}

void AppDelegate::report(const std::exception_ptr &error) {
  report(CrelError::describe(error, crel::tr("An unknown error occurred.")));
}

void AppDelegate::report(const QString &message, QWidget *owner) {
  qCWarning(lcShell).noquote() << QStringLiteral("%1: %2").arg(AppIdentity::name(), message);
  presentAlert(message, {}, owner);
}

void AppDelegate::presentAlert(const QString &title, const QString &text, QWidget *owner) {
  lastAlert_ = text.isEmpty() ? title : title + QLatin1Char('\n') + text;
  // Nothing the user is told is handed back out of sight.
  reportedAtLaunch_ = reportedAtLaunch_ || launching_;
  yieldActivationUntil_.reset();
  // At launch the settings may be on screen before the desktop made them
  // active: the alert belongs on them, not underneath.
  Alerts::present(title, text, owner, welcome_);
  Q_EMIT alertShown(lastAlert_);
}

void AppDelegate::showPermission() {
  presentAlert(crel::tr("Allow screen capture"),
               crel::tr("Allow %1 to take screenshots when your desktop asks, or in the privacy section of your "
                        "desktop's settings, then capture again. Your screenshots stay on this computer.")
                   .arg(AppIdentity::name()));
}

void AppDelegate::copyCurrent() {
  // The editor copies, closes and reports a successful copy through copied().
  if (EditorController *editor = currentEditor())
    editor->copyImage();
}

void AppDelegate::revealCurrent() {
  if (EditorController *editor = currentEditor())
    editor->reveal();
}

void AppDelegate::undoCurrent() {
  if (EditorController *editor = currentEditor())
    editor->document().undo();
}

void AppDelegate::redoCurrent() {
  if (EditorController *editor = currentEditor())
    editor->document().redo();
}

void AppDelegate::closeCurrent() {
  if (QWidget *key = QApplication::activeWindow())
    key->close();
}

void AppDelegate::openSavedImagesFolder() {
  const QString folder = services_.picturesFolder;
  try {
    CrelStorage::prepareDirectory(folder);
  } catch (...) {
    // The folder's own error says what went wrong; opening it cannot follow.
    report(std::current_exception());
    return;
  }
  const auto open = services_.openFolder ? services_.openFolder : &FolderOpener::open;
  open(QUrl::fromLocalFile(folder), [self = QPointer<AppDelegate>(this), folder](bool opened) {
    if (!opened && self)
      self->report(crel::tr("Could not open %1 in the file manager.").arg(CrelStorage::displayPath(folder)));
  });
}

void AppDelegate::handleForwarded(const ForwardedLaunch &request, const std::function<void(bool)> &reply) {
  if (request.command != ForwardedLaunch::Command::open) {
    reply(handleForwarded(request));
    return;
  }
  touch();
  openFilesInBackground(request.paths, request.notOpened, reply);
}

bool AppDelegate::handleForwarded(const ForwardedLaunch &request) {
  touch();
  switch (request.command) {
  case ForwardedLaunch::Command::reopen: reopen(); return true;
  case ForwardedLaunch::Command::capture: newCapture(); return true;
  case ForwardedLaunch::Command::open: return openFiles(request.paths, request.notOpened);
  }
  return false;
}

void AppDelegate::reopen() {
  // An alert above everything blocks whatever comes forward: it keeps the keyboard.
  auto alertOnTop = qScopeGuard([] {
    if (QMessageBox *alert = Alerts::applicationModal())
      WindowRegistry::present(*alert);
  });
  // One adapter per top-level widget, so the rule can match editors by identity.
  const std::vector<std::unique_ptr<ShellWindow>> holder = windows_.windows();
  const auto handle = [&holder](const QWidget *widget) -> ShellWindow * {
    for (const auto &window : holder)
      if (widget && static_cast<const WidgetWindow &>(*window).widget() == widget)
        return window.get();
    return nullptr;
  };
  WindowPresentation::Windows windows, editorWindows;
  for (const auto &window : holder)
    windows.push_back(window.get());
  for (const auto &editor : editors_)
    if (ShellWindow *window = handle(editor->window()))
      editorWindows.push_back(window);
  const WindowPresentation::ReopenAction action = WindowPresentation::reopenAction(
      services_.capture.phase() != CaptureCoordinator::Phase::idle, windows, editorWindows);
  switch (action.kind) {
  case WindowPresentation::ReopenAction::Kind::nothing: // a capture runs: nothing comes forward
    alertOnTop.dismiss();
    return;
  case WindowPresentation::ReopenAction::Kind::openSettings: showWelcome(); return;
  case WindowPresentation::ReopenAction::Kind::bringForward: break;
  }
  // An editor comes forward the editor's way; any other window as it is.
  for (const auto &editor : editors_)
    if (handle(editor->window()) == action.window) {
      editor->present();
      return;
    }
  bringForward(*action.window);
}

QuitController::Reply AppDelegate::requestQuit(QuitController::From from) { return quit_->requestQuit(from); }

void AppDelegate::quitCancelled() {
  updateSessionSaved_ = false;
  if (std::exchange(updateQuitWaits_, false))
    services_.updates.quitRefused();
}

bool AppDelegate::endSession(const std::function<bool()> &mayAsk) {
  switch (quit_->requestQuit(QuitController::From::desktop, mayAsk)) {
  case QuitController::Reply::now: return true;
  case QuitController::Reply::cancel: quitCancelled(); return false;
  case QuitController::Reply::later: break;
  }
  // The session manager waits for the answer: the prompts are answered here.
  bool quits = false;
  QEventLoop answers;
  connect(quit_.get(), &QuitController::answered, &answers, [&](bool answer) {
    quits = answer;
    answers.quit();
  });
  answers.exec();
  return quits;
}

std::vector<QuitController::Editor> AppDelegate::quitEditors() const {
  std::vector<QuitController::Editor> editors;
  for (const auto &owned : editors_) {
    const QPointer<EditorController> editor = owned.get();
    QuitController::Editor e;
    e.identity = editor.data();
    e.finishAndFlush = [editor] {
      if (!editor)
        return;
      CrelDocument &document = editor->document();
      if (document.finishTextEditing)
        document.finishTextEditing();
      try {
        document.flushAutosave();
      } catch (const std::exception &) {
        // The document keeps the error and its status shows it; it now needs a decision.
      }
    };
    e.needsDecision = [editor] { return editor && !EditorController::cleanlySaved(editor->document()); };
    e.bringForward = [editor] {
      if (editor)
        editor->present();
    };
    // An editor that went meanwhile has nothing left to lose.
    e.confirmDiscard = [editor](std::function<void(bool)> done) {
      if (editor)
        editor->confirmDiscard(std::move(done));
      else
        done(true);
    };
    editors.push_back(std::move(e));
  }
  return editors;
}

void AppDelegate::refreshOpenScreenshotsMenu() {
  std::vector<std::unique_ptr<ShellWindow>> holder;
  ShellRules::Windows windows;
  for (const auto &editor : editors_) {
    holder.push_back(windows_.adapter(editor->window()));
    windows.push_back(holder.back().get());
  }
  std::vector<ShellRules::ScreenshotEntry> numbered = ShellRules::screenshotEntries(windows);
  // Entries carry the editor's connection number, never reused: an entry
  // chosen after its editor went cannot reach another one.
  for (ShellRules::ScreenshotEntry &entry : numbered) {
    const EditorController *editor = editors_[size_t(entry.editor)].get();
    entry.editor = int(std::find(connected_.begin(), connected_.end(), editor) - connected_.begin());
  }
  menus_->setScreenshots(numbered);
}

EditorController *AppDelegate::openScreenshotEditor(int entry) const {
  if (entry < 0 || size_t(entry) >= connected_.size())
    return nullptr;
  EditorController *editor = connected_[size_t(entry)];
  // A stale entry: its editor has closed since the menu was built.
  const bool open =
      editor && std::any_of(editors_.begin(), editors_.end(), [editor](const auto &e) { return e.get() == editor; });
  return open ? editor : nullptr;
}

void AppDelegate::showOpenScreenshot(int entry) {
  if (services_.capture.phase() != CaptureCoordinator::Phase::idle)
    return;
  if (EditorController *editor = openScreenshotEditor(entry))
    editor->present();
}

} // namespace crel
