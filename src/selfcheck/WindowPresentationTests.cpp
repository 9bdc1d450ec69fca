#include "WindowPresentationTests.h"

#include "CanvasWindow.h"
#include "Check.h"
#include "Fixtures.h"
#include "IsolatedSettings.h"

#include "app/AppDelegate.h"
#include "app/LaunchAtLogin.h"
#include "app/SessionStore.h"
#include "app/ShortcutManager.h"
#include "app/UpdateService.h"
#include "app/WindowPresentation.h"
#include "canvas/CanvasView.h"
#include "capture/CaptureCoordinator.h"
#include "capture/CaptureWindowSession.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "document/EditorSizePreferences.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"
#include "platform/desktop/FakeShellWindow.h"
#include "platform/desktop/LoginItemService.h"
#include "platform/shortcuts/HotKeyBackend.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QWindow>

#include <functional>
#include <memory>

namespace crel::NativeTests::WindowPresentationTests {

namespace {

// One of the user's windows as the suite scripts it; nothing reaches the
// screen. A close is counted and changes nothing else.
struct Window final : FakeShellWindow {
  void close() override { ++closed; }
  QWidget *contentView = nullptr;
};

std::shared_ptr<Window> keyWindow() {
  auto window = std::make_shared<Window>();
  window->key = true;
  return window;
}

bool untouched(const Window &w) { return w.orderedOut == 0 && w.restored == 0 && w.fronted == 0 && w.keyed == 0; }

void captureChecks() {
  const auto settings = std::make_shared<Window>(), shortcuts = std::make_shared<Window>(), editor = keyWindow();
  const auto hidden = std::make_shared<Window>();
  hidden->visible = false;
  const CaptureWindowSession::Windows desktop{settings, shortcuts, editor, hidden};
  const auto desktopAsItWas = [&] {
    return settings->isVisible() && shortcuts->isVisible() && editor->isVisible() && !hidden->isVisible();
  };

  CaptureWindowSession started(desktop);
  expect(desktopAsItWas(),
         QStringLiteral("Starting capture keeps the current desktop, including open editors, visible"));
  started.restore(true);
  started.restore(false);
  expect(untouched(*settings) && untouched(*shortcuts) && untouched(*editor) && untouched(*hidden),
         QStringLiteral("Successful capture never hides, reorders or refocuses existing windows"));

  CaptureWindowSession cancelled(desktop);
  editor->key = false;
  cancelled.restore(false);
  cancelled.restore(false);
  expect(editor->keyed == 1 && desktopAsItWas(),
         QStringLiteral("Cancel returns keyboard focus once without changing the desktop"));

  const auto closing = keyWindow();
  CaptureWindowSession closed({closing});
  closing->close();
  closed.restore(false);
  expect(closing->keyed == 0 && closing->restored == 0,
         QStringLiteral("Cancel never refocuses or reopens an editor closed during selection"));

  const auto minimising = keyWindow();
  CaptureWindowSession minimised({minimising});
  minimising->miniaturized = true;
  minimised.restore(false);
  expect(minimising->keyed == 0 && minimising->isMiniaturized(),
         QStringLiteral("Cancel preserves an editor minimized during selection"));

  const auto hiding = keyWindow();
  CaptureWindowSession hiddenByOwner({hiding});
  hiding->orderOut();
  hiddenByOwner.restore(false);
  expect(hiding->keyed == 0 && !hiding->isVisible(),
         QStringLiteral("Cancel preserves an editor hidden by its owner during selection"));

  const auto callback = keyWindow();
  CaptureWindowSession reentered({callback});
  callback->onFocus = [&reentered] { reentered.restore(false); };
  reentered.restore(false);
  expect(callback->keyed == 1, QStringLiteral("Focus callbacks cannot consume a capture session twice"));

  std::weak_ptr<Window> released;
  std::unique_ptr<CaptureWindowSession> pending;
  {
    const auto window = keyWindow();
    released = window;
    pending = std::make_unique<CaptureWindowSession>(CaptureWindowSession::Windows{window});
  }
  expect(released.expired(), QStringLiteral("A pending capture does not retain an editor window"));
  pending->restore(false);
}

// One background screenshot: its document, its export as it was made, and a
// window whose content is a real canvas that is never shown.
struct Screenshot {
  explicit Screenshot(const QImage &image)
      : document(image, AnnotationPreferences::shared()), reference(document.renderPNG()), host(document, 600, 480) {
    window->contentView = &host.canvas();
  }
  CrelDocument document;
  QByteArray reference;
  CanvasWindow host;
  std::shared_ptr<Window> window = std::make_shared<Window>();
};

// A full redraw of what the window shows.
void redraw(const Window &window) {
  auto *canvas = qobject_cast<CanvasView *>(window.contentView);
  if (!canvas)
    throw CrelError::rendering();
  canvas->setGeometry(0, 0, 600, 480);
  NativeTests::redraw(*canvas);
}

void backgroundScreenshotChecks(const QImage &image) {
  Screenshot first(image);
  CaptureWindowSession({first.window}).restore(true);
  Screenshot second(image);
  for (const bool captured : {true, false, true, false}) {
    CaptureWindowSession session({second.window, first.window});
    expect(first.window->isVisible() && second.window->isVisible(),
           QStringLiteral("Both screenshots remain visible while another screenshot is being selected"));
    session.restore(captured);
    redraw(*first.window);
    redraw(*second.window);
    const bool firstKept = first.document.renderPNG() == first.reference;
    const bool secondKept = second.document.renderPNG() == second.reference;
    expect(first.window->isVisible() && second.window->isVisible() && firstKept && secondKept,
           QStringLiteral("Repeated capture and cancellation redraw and retain both untouched background screenshots"));
  }
}

// What the desktop's taskbar sees of a screenshot editor: its native window,
// made as showing it would make it (never shown), is an ordinary window of
// its own, not a tool, dialog or splash and not transient for another.
bool editorListedInTaskbar(const QImage &image) {
  EditorController controller(std::make_unique<CrelDocument>(image, AnnotationPreferences::shared()),
                              EditorSizePreferences::shared());
  EditorWindow *window = controller.window();
  if (!window)
    return false;
  window->winId();
  const QWindow *handle = window->windowHandle();
  return handle && handle->type() == Qt::Window && !handle->transientParent();
}

void reopenChecks(const QImage &image) {
  using WindowPresentation::reopenAction;
  using Kind = WindowPresentation::ReopenAction::Kind;
  Window settings, editor;
  editor.key = true;
  const WindowPresentation::ReopenAction bringEditor{Kind::bringForward, &editor};
  if (reopenAction(true, {&settings, &editor}, {&editor}).kind != Kind::nothing)
    fail(QStringLiteral("Reopening the application must do nothing while a capture is in progress"));
  if (reopenAction(false, {&settings, &editor}, {&editor}) != bringEditor)
    fail(QStringLiteral("Reopening the application must prefer the existing editor over Settings"));
  if (reopenAction(false, {}, {&editor}) != bringEditor)
    fail(QStringLiteral("A minimized editor must be recoverable by reopening the application"));
  if (reopenAction(false, {}, {}).kind != Kind::openSettings)
    fail(QStringLiteral("Reopening the application with no editor must open Settings"));
  pass(QStringLiteral("Reopening the application respects captures, existing editors, minimized editors and idle "
                      "access"));

  // How the launch ends: (capture, at login, update session found, editors open).
  using WindowPresentation::launchEnd;
  using End = WindowPresentation::LaunchEnd;
  expect(launchEnd(false, false, false, false) == End::settings,
         QStringLiteral("A deliberate ordinary launch opens Settings"));
  const QString noSettings =
      QStringLiteral("Login, capture, update recovery and image opening do not create an unrelated Settings window");
  expect(launchEnd(false, true, false, false) == End::nothing, noSettings);
  expect(launchEnd(true, false, false, false) == End::capture && launchEnd(true, false, true, true) == End::capture,
         noSettings);
  expect(launchEnd(false, false, true, false) == End::handBack && launchEnd(false, false, true, true) == End::nothing,
         noSettings);
  // Images named on the launch are open as editors before it ends.
  expect(launchEnd(false, false, false, true) == End::nothing, noSettings);

  expect(editorListedInTaskbar(image), QStringLiteral("The distributed app is a normal taskbar application"));

  editor.miniaturized = true;
  editor.visible = false;
  bringForward(editor);
  expect(!editor.isMiniaturized() && editor.isVisible() && editor.fronted == 1,
         QStringLiteral("Returning to a screenshot restores a minimized window before bringing it forward"));
}

QStringList titles(const QMenu &menu) {
  QStringList titles;
  for (const QAction *item : menu.actions())
    titles << item->text();
  return titles;
}

// What the desktop's window list and the Window menu take as an ordinary
// application window: a plain top-level window that is not kept above or
// below the others and takes the keyboard.
bool ordinaryWindow(const QWidget &window) {
  const Qt::WindowFlags special = Qt::WindowStaysOnTopHint | Qt::WindowStaysOnBottomHint |
                                  Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus;
  return window.windowType() == Qt::Window && WindowRegistry::canBecomeMain(window) &&
         !(window.windowFlags() & special) && !window.testAttribute(Qt::WA_ShowWithoutActivating);
}

// A capture must not start here: its provider ends the run.
CaptureCoordinator forbiddenCapture() {
  return CaptureCoordinator(
      [](QObject *, CaptureSnapshot::Completion) -> SnapshotRequest {
        fail(QStringLiteral("Window presentation checks must not capture"));
      },
      [](const geom::Rect &) -> std::shared_ptr<CapturePanel> {
        fail(QStringLiteral("Window presentation checks must not create an overlay"));
      });
}

void menuChecks(const QImage &image, const QDir &root) {
  IsolatedSettings isolated(root.path(), QStringLiteral("window-presentation-"));
  ShortcutManager shortcuts(isolated.store());
  CaptureCoordinator capture = forbiddenCapture();
  UpdateService updates;
  FakeLoginItemService loginItem;
  LaunchAtLogin login(loginItem, isolated.store(), false);
  SessionStore session;
  AppDelegate delegate({shortcuts, capture, updates, login, session, root.filePath(QStringLiteral("pictures")), {}});
  QMenu &menu = *delegate.menus().screenshotsMenu();

  // Saved as they open, so closing them asks nothing.
  const QString folder = root.filePath(QStringLiteral("window-presentation"));
  const auto editor = [&](const QString &title) {
    auto document = std::make_unique<CrelDocument>(image, AnnotationPreferences::shared());
    document->enableAutosave(folder, title);
    auto controller = std::make_unique<EditorController>(std::move(document), EditorSizePreferences::shared());
    if (!controller->window())
      fail(QStringLiteral("Window presentation editor missing"));
    controller->window()->setWindowTitle(title);
    EditorController &connected = *controller;
    delegate.connectEditor(std::move(controller));
    return &connected;
  };
  EditorController *first = editor(QStringLiteral("First screenshot"));
  EditorController *second = editor(QStringLiteral("Second screenshot"));
  const QPointer<EditorWindow> firstWindow = first->window(), secondWindow = second->window();
  const QPointer<CrelDocument> firstDocument = &first->document();

  expect(titles(menu) == QStringList({QStringLiteral("Second screenshot"), QStringLiteral("First screenshot")}),
         QStringLiteral("Every open screenshot is reachable from the system tray even when its window is hidden"));
  Q_EMIT menu.aboutToShow();
  expect(!menu.isEmpty() && menu.actions().constFirst()->text() == QStringLiteral("Second screenshot"),
         QStringLiteral("Opening the screenshot submenu keeps its document titles"));
  firstWindow->setWindowTitle(QStringLiteral("Renamed screenshot"));
  delegate.refreshOpenScreenshotsMenu();
  expect(!menu.isEmpty() && menu.actions().constLast()->text() == QStringLiteral("Renamed screenshot"),
         QStringLiteral("The screenshot list uses current window titles"));
  expect(firstWindow && ordinaryWindow(*firstWindow),
         QStringLiteral("Screenshot editors are ordinary persistent windows eligible for the Window menu"));

  const int stale = menu.actions().constFirst()->data().toInt();
  secondWindow->close();
  pumpUntil([&] { return delegate.editors().size() == 1; }, 2000, 10);
  const EditorController *listed =
      menu.actions().size() == 1 ? delegate.openScreenshotEditor(menu.actions().constFirst()->data().toInt()) : nullptr;
  expect(delegate.editors().size() == 1 && listed && listed->window() == firstWindow,
         QStringLiteral("Dismissing one screenshot removes only its menu entry and retains the other editor"));
  delegate.showOpenScreenshot(stale);
  expect((!secondWindow || !secondWindow->isVisible()) && !firstWindow->isVisible(),
         QStringLiteral("A stale screenshot entry cannot reopen a dismissed editor"));

  firstWindow->close();
  // The closed controller goes on a later turn, and its document with it.
  pumpUntil([&] { return delegate.editors().empty() && !firstDocument; }, 2000, 10);
  const QAction *placeholder = menu.actions().size() == 1 ? menu.actions().constFirst() : nullptr;
  expect(delegate.editors().empty() && !firstDocument && placeholder && !placeholder->isEnabled() &&
             !placeholder->data().isValid(),
         QStringLiteral("Closing the last screenshot leaves an honest empty menu without retaining a document"));
}

} // namespace

void run(const QImage &image, const QDir &root) {
  captureChecks();
  backgroundScreenshotChecks(image);
  reopenChecks(image);
  menuChecks(image, root);
}

} // namespace crel::NativeTests::WindowPresentationTests
