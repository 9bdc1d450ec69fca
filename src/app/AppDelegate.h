#pragma once

#include "AppMenus.h"
#include "ImageOpening.h"
#include "QuitController.h"
#include "ShellRules.h"
#include "StatusItem.h"
#include "WelcomeView.h"
#include "WindowRegistry.h"
#include "chrome/ShortcutGuideView.h"

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QFileDialog;
class QWidget;

namespace crel {

class BindingAdvice;
class CaptureCoordinator;
class EditorController;
class LaunchAtLogin;
class NoTrayNotice;
class NotificationCenter;
class SessionStore;
struct ForwardedLaunch;
class ShortcutManager;
class UpdateService;
struct CaptureSource;

// The services of one ordinary run, built once by main and lent to the
// delegate, which wires them together.
struct AppServices {
  ShortcutManager &shortcuts;
  CaptureCoordinator &capture;
  UpdateService &updates;
  LaunchAtLogin &login;
  SessionStore &session;
  // The folder new captures are saved in.
  QString picturesFolder;
  // The time the idle and hand-back rules read; the wall clock when empty.
  std::function<QDateTime()> clock;
  // Where a login launch on a desktop without a tray says it runs; none: nowhere.
  NotificationCenter *notifications = nullptr;
  // How the status item looks for a tray; the desktop's, every two seconds, when empty.
  TrayWatch tray;
  // How an image file is read; ImageOpening::open when empty.
  ImageOpening::Reader readImage;
  // Shows a folder in the file manager, then says whether anything could; the desktop's when empty.
  std::function<void(const QUrl &folder, std::function<void(bool opened)> done)> openFolder;
  // The memory opening images may take; MemoryRoom::memoryRoom when empty.
  ImageOpening::Budget::Room memoryRoom;
};

struct LaunchOptions {
  bool launchedAtLogin = false;
  bool capture = false;      // --capture
  bool isolatedTest = false; // a test run: the update session is not touched
  QStringList openPaths;     // images the launch was asked to open
  qsizetype notOpened = 0;   // and how many more it had no room for
};

// The ordinary run: the launch sequence, the capture road from the shortcut
// to an editor, the list of open editors, the menus and the status item.
class AppDelegate : public QObject {
  Q_OBJECT
public:
  static constexpr int yieldWindowMs = 5000;
  // From an alert's answer to the capture that waited for it.
  static constexpr int afterAlertMs = 200;

  explicit AppDelegate(AppServices services, QObject *parent = nullptr);
  ~AppDelegate() override;

  void launch(const LaunchOptions &options);

  // The capture road.
  void newCapture();
  // A capture waits for an alert above everything to be answered.
  bool captureWaits() const { return captureWaits_; }
  EditorController &showEditor(const QImage &image, const CaptureSource &source);
  void connectEditor(std::unique_ptr<EditorController> editor);
  EditorController *currentEditor() const;
  const std::vector<std::unique_ptr<EditorController>> &editors() const { return editors_; }

  void showWelcome();
  // The keyboard-shortcuts window, made once and kept.
  void showShortcuts();
  QWidget *shortcutsWindow() const { return shortcuts_; }
  // What the shortcuts guide shows now, in the window and in every editor's popover.
  ShortcutGuideView::Content shortcutGuide() const;
  void yieldActivation();

  // A request from a later launch; true when it did what was asked.
  bool handleForwarded(const ForwardedLaunch &request);
  // The same, answering through `reply`; files are read off the main thread,
  // however long that takes.
  void handleForwarded(const ForwardedLaunch &request, const std::function<void(bool)> &reply);
  // A plain later launch: the window with a sheet, the front editor, the
  // settings when there is no editor, or the newest (even minimised) editor.
  void reopen();
  // Every quit request (menu, signal, the end of a test run): ends the run
  // at once, after the editors with work to lose agreed one by one, or not at all.
  QuitController::Reply requestQuit(QuitController::From from = QuitController::From::user);
  // The desktop session is ending: the same rule, answered before this
  // returns; `mayAsk` is asked before any prompt. False keeps the session.
  bool endSession(const std::function<bool()> &mayAsk);
  QuitController &quitController() { return *quit_; }
  // The quit rule let the run end, and a staged update may install: its
  // editors were kept for the relaunch (or there was no update to keep them for).
  bool mayInstallOnExit() const { return quitAccepted_ && !(updateWaits_ && !updateSessionSaved_); }

  // The open panel, starting in the saved-images folder.
  void openImage();
  // The Open Image dialog, built but not shown; see ImageOpenPanel.
  static std::unique_ptr<QFileDialog> makeImageOpenPanel(const QString &directory);
  // Each file in turn; the ones that fail, and the count of `notOpened`
  // ones the launch had no room for, are told in one alert. True when at
  // least one opened.
  bool openFiles(const QStringList &paths, qsizetype notOpened = 0);
  // The same, read away from the main thread; `done` hears the outcome.
  void openFilesInBackground(const QStringList &paths, qsizetype notOpened, const std::function<void(bool)> &done);
  bool showOpened(const QStringList &paths, const std::vector<ImageOpening::Outcome> &outcomes,
                  qsizetype notOpened = 0);
  bool openImageFile(const QString &path);
  // Logs the error and shows its sentence in an alert, a sheet on `owner`
  // when given, else on the key window.
  void report(const std::exception_ptr &error);
  void report(const QString &message, QWidget *owner = nullptr);
  void showPermission();

  // Menu actions over the current editor.
  void copyCurrent();
  void revealCurrent();
  void undoCurrent();
  void redoCurrent();
  void closeCurrent();
  void openSavedImagesFolder();
  void showOpenScreenshot(int entry);
  // The editor behind an entry of the open-screenshots submenu while it is
  // still open; none for a stale entry.
  EditorController *openScreenshotEditor(int entry) const;
  void refreshOpenScreenshotsMenu();

  // The updater's questions.
  bool isBusy() const;
  bool isIdle() const;
  void refreshUpdateItems();
  // The updater's request to quit and install; refused, it hears so.
  void quitForUpdate();

  StatusItem &statusItem() { return statusItem_; }
  AppMenus &menus() { return *menus_; }
  WindowRegistry &windows() { return windows_; }
  // The presenter's choice, once the menus exist.
  StatusPresentation *statusPresentation() const { return presentation_.get(); }
  // The desktop has no tray to hold the status item now (known from the start).
  bool trayMissing() const { return presentation_ && presentation_->isTrayMissing(); }
  QWidget *welcomeWindow() const { return welcome_; }
  WelcomeView *welcomeView() const { return view_; }
  QDateTime lastInteraction() const { return lastInteraction_; }
  bool launchedAtLogin() const { return launchedAtLogin_; }
  const ShortcutManager &shortcuts() const { return services_.shortcuts; }
  std::optional<QDateTime> yieldActivationUntil() const { return yieldActivationUntil_; }
  // The last alert's text, for tests and logs.
  QString lastAlert() const { return lastAlert_; }

Q_SIGNALS:
  // An editor window was presented.
  void editorShown(crel::EditorController *editor);
  void alertShown(const QString &text);

private:
  // A request's files made editors: the last one, and what did not open (empty: all did).
  struct Opened {
    EditorController *last = nullptr;
    QString problem;
  };
  Opened openOutcomes(const QStringList &paths, const std::vector<ImageOpening::Outcome> &outcomes,
                      qsizetype notOpened);
  // Brings the last editor forward with the alert on it.
  bool showOpened(const Opened &opened);
  // The most pixels an open editor flattens when it saves.
  double largestCanvas() const;
  QDateTime now() const;
  // The launch's ending, once its files are read: a capture, the settings, or
  // the hand-back; then the files' alert.
  void finishLaunch(const LaunchOptions &options, bool sessionExisted, const Opened &files);
  void touch() { lastInteraction_ = now(); }
  void makeMenus();
  // Attaches the menus to the status item: no status item until launch.
  void setupMenus();
  bool launched() const { return presentation_ != nullptr; }
  void editorClosed(EditorController *editor);
  void presentAlert(const QString &title, const QString &text, QWidget *owner = nullptr);
  ShellRules::Windows shellWindows(std::vector<std::unique_ptr<ShellWindow>> &holder) const;
  bool applicationActive() const;
  std::vector<QuitController::Editor> quitEditors() const;
  void quitCancelled();
  // Writes every change still waiting for its debounced save.
  void writePendingSaves();
  // The search for a panel still starting found none: after a login launch, one notification says it runs.
  void trayNotFound();

  AppServices services_;
  WindowRegistry windows_;
  StatusItem statusItem_;
  std::unique_ptr<AppMenus> menus_;
  std::unique_ptr<StatusPresentation> presentation_;
  QPointer<QWidget> welcome_;
  QPointer<QWidget> openPanel_;
  QPointer<QWidget> shortcuts_;
  QPointer<WelcomeView> view_;
  std::unique_ptr<QuitController> quit_;
  std::unique_ptr<BindingAdvice> advice_;
  std::unique_ptr<NoTrayNotice> noTrayNotice_;
  std::vector<std::unique_ptr<EditorController>> editors_;
  // Every editor ever connected, in order: the submenu's entries number them.
  std::vector<QPointer<EditorController>> connected_;
  bool launchedAtLogin_ = false;
  // An alert was shown while launching: nothing is handed back.
  bool reportedAtLaunch_ = false;
  bool launching_ = false;
  // A capture was asked for while an alert held the application.
  bool captureWaits_ = false;
  bool quitAccepted_ = false;
  // Whether the accepted quit found an update waiting, and kept the editors for it.
  bool updateWaits_ = false;
  bool updateSessionSaved_ = false;
  // An install asked to quit while prompts were open; their answer is its answer.
  bool updateQuitWaits_ = false;
  QDateTime lastInteraction_;
  std::optional<QDateTime> yieldActivationUntil_;
  QString lastAlert_;
};

} // namespace crel
