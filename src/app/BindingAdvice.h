#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QWidget;

namespace crel {

class CaptureCoordinator;
class QuitController;
class ShortcutManager;
class WindowRegistry;

// The first launch's advice on binding the capture command, once the desktop
// declined the shortcut after the launch ended: said as soon as nothing the
// user is busy with is on screen (the capture's overlay, a question), and
// never while a quit is under way: a cancelled quit lets it come, a run that
// ends leaves it to the next launch.
class BindingAdvice : public QObject {
  Q_OBJECT
public:
  struct Hooks {
    // The desktop has no tray: the advice names another way to the settings.
    std::function<bool()> trayMissing;
    // Shows the advice.
    std::function<void(const QString &)> report;
  };

  BindingAdvice(ShortcutManager &shortcuts, CaptureCoordinator &capture, WindowRegistry &windows,
                const QuitController &quit, Hooks hooks, QObject *parent = nullptr);

  // What the launch says of the shortcut: its problem, or the advice.
  QString takeLaunchProblem();
  // The launch said what it had to say; a decline from now on is advised here.
  void launchEnded();
  // Says the advice if it is due and nothing stands in its way.
  void offer();

private:
  ShortcutManager &shortcuts_;
  CaptureCoordinator &capture_;
  const QuitController &quit_;
  Hooks hooks_;
  bool launchEnded_ = false;
  // The question the advice waits to see closed.
  QPointer<QWidget> waitsFor_;
};

} // namespace crel
