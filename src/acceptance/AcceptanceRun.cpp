#include "AcceptanceRun.h"

#include "AcceptanceMenu.h"
#include "AcceptanceWait.h"
#include "app/AppDelegate.h"
#include "canvas/CanvasView.h"
#include "selfcheck/Check.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QKeyEvent>
#include <QScreen>

#include <functional>

namespace crel::acceptance {

namespace {

QScreen &firstScreen() {
  const QList<QScreen *> screens = QGuiApplication::screens();
  if (screens.isEmpty())
    NativeTests::fail(QStringLiteral("The acceptance run needs a display"));
  return *screens.first();
}

// Whether the application has taken a press and a release from the window
// system since it was made. Synthetic input reaches the X server at once but
// the application only when its event loop runs; input sent while earlier
// clicks are still queued there can be lost (a release and the next press
// vanished when three clicks arrived together).
class DeliveredClick : public QObject {
public:
  DeliveredClick() { QCoreApplication::instance()->installEventFilter(this); }
  ~DeliveredClick() override { QCoreApplication::instance()->removeEventFilter(this); }
  bool arrived() const { return pressed_ && released_; }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    // Every mouse event reaches a top-level QWindow before any widget.
    if (watched->isWindowType() && event->spontaneous()) {
      pressed_ = pressed_ || event->type() == QEvent::MouseButtonPress;
      released_ = released_ || (pressed_ && event->type() == QEvent::MouseButtonRelease);
    }
    return false;
  }

private:
  bool pressed_ = false;
  bool released_ = false;
};

// Sends the input, then lets the application take all of it before the run
// goes on, so that no later input can pile up behind it.
void deliver(const std::function<void()> &send) {
  DeliveredClick click;
  send();
  wait(QStringLiteral("The application did not receive a pointer click"), [&] { return click.arrived(); });
}

} // namespace

RunState::RunState(AppDelegate &owner, QString fixtureFolder)
    : delegate(owner), fixtureDir(std::move(fixtureFolder)), screen(&firstScreen()), scale(screen->devicePixelRatio()),
      input(scale) {}

QString linuxWording(const QString &sentence) {
  // The sentences that name a macOS part, and what this system says instead.
  static const QHash<QString, QString> wording{
      {QStringLiteral("Application has registered its global shortcut with macOS"),
       QStringLiteral("Application has registered its global shortcut with the X server")},
      {QStringLiteral("ScreenCaptureKit captures the selected region at display resolution"),
       QStringLiteral("X11 screen capture captures the selected region at display resolution")},
      {QStringLiteral("Saved PNG retains the frozen ScreenCaptureKit fixture after its source is hidden before "
                      "mouse release"),
       QStringLiteral("Saved PNG retains the frozen X11 capture of the fixture after its source is hidden before "
                      "mouse release")},
      {QStringLiteral("Open in Finder activates Finder after flushing the saved image"),
       QStringLiteral("Show in File Manager opens the file manager after flushing the saved image")},
      {QStringLiteral("Open in Finder did not activate Finder"),
       QStringLiteral("Show in File Manager did not open the file manager")},
      {QStringLiteral("Copy acknowledgement stays in the menu bar with no editor overlay"),
       QStringLiteral("Copy acknowledgement stays in the system tray with no editor overlay")},
      {QStringLiteral("Command C invokes the native Copy shortcut"),
       QStringLiteral("Ctrl C invokes the native Copy shortcut")},
      {QStringLiteral("Command C closes its editor before the keyboard action returns"),
       QStringLiteral("Ctrl C closes its editor before the keyboard action returns")},
      {QStringLiteral("Command C closes its editor and keeps the copied image available"),
       QStringLiteral("Ctrl C closes its editor and keeps the copied image available")},
      {QStringLiteral("Copying the last crel leaves the menu bar app running"),
       QStringLiteral("Copying the last crel leaves the system tray app running")},
      {QStringLiteral("Menu bar copy acknowledgement did not clear"),
       QStringLiteral("System tray copy acknowledgement did not clear")},
  };
  return wording.value(sentence, sentence);
}

void expect(bool condition, const QString &sentence) { NativeTests::expect(condition, linuxWording(sentence)); }

void pause(int milliseconds) { EventPump::sleep(milliseconds); }

QPointF imagePoint(const CanvasView &canvas, double x, double y) {
  const geom::Rect image = canvas.imageRect();
  const QPointF local(image.minX() + image.width() * x, image.minY() + image.height() * y);
  return canvas.mapToGlobal(local);
}

void click(RunState &run, QPointF point) {
  deliver([&] { run.input.click(point); });
}

void drag(RunState &run, QPointF from, QPointF to) {
  deliver([&] { run.input.drag(from, to); });
}

void sendKey(QWidget &window, int key, const QString &text) {
  QWidget *target = window.focusWidget() ? window.focusWidget() : &window;
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(target, &press);
  QWidget *after = window.focusWidget() ? window.focusWidget() : &window;
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QCoreApplication::sendEvent(after, &release);
}

void performMenu(RunState &run, const QString &actionName, QWidget &window) {
  menu(actionName, window, run.delegate.menus().mainMenus());
}

void removeOnExit(RunState &run, const QString &path) {
  run.cleanup.push([path] { QFile::remove(path); });
}

} // namespace crel::acceptance
