#include "BindingAdvice.h"

#include "QuitController.h"
#include "ShortcutManager.h"
#include "WindowRegistry.h"
#include "capture/CaptureCoordinator.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

namespace crel {

BindingAdvice::BindingAdvice(ShortcutManager &shortcuts, CaptureCoordinator &capture, WindowRegistry &windows,
                             const QuitController &quit, Hooks hooks, QObject *parent)
    : QObject(parent), shortcuts_(shortcuts), capture_(capture), quit_(quit), hooks_(std::move(hooks)) {
  // A desktop may decline the shortcut long after the launch ended.
  connect(&shortcuts_, &ShortcutManager::changed, this, &BindingAdvice::offer);
  connect(&capture_, &CaptureCoordinator::phaseChanged, this, &BindingAdvice::offer);
  connect(&windows, &WindowRegistry::windowActivated, this, &BindingAdvice::offer);
  connect(&quit, &QuitController::stopped, this, &BindingAdvice::offer);
}

QString BindingAdvice::takeLaunchProblem() {
  if (quit_.isUnderWay() && shortcuts_.bindingAdviceDue())
    return {};
  return shortcuts_.takeLaunchProblem(hooks_.trayMissing());
}

void BindingAdvice::launchEnded() { launchEnded_ = true; }

void BindingAdvice::offer() {
  // Taking it writes that it was said: a quit that ends the run would spend it unread.
  if (!launchEnded_ || quit_.isUnderWay() || !shortcuts_.bindingAdviceDue())
    return;
  // Never over the capture's overlay: its phase coming back to idle asks again.
  if (capture_.phase() != CaptureCoordinator::Phase::idle)
    return;
  // Nor over a question being answered (a sheet, an alert, the open panel).
  if (QWidget *question = QApplication::activeModalWidget()) {
    if (waitsFor_ != question) {
      waitsFor_ = question;
      // Still on screen while it says it finished.
      const auto again = [this] {
        waitsFor_.clear();
        QTimer::singleShot(0, this, &BindingAdvice::offer);
      };
      if (auto *dialog = qobject_cast<QDialog *>(question))
        connect(dialog, &QDialog::finished, this, again, Qt::SingleShotConnection);
      connect(question, &QObject::destroyed, this, again, Qt::SingleShotConnection);
    }
    return;
  }
  const QString advice = shortcuts_.takeLaunchProblem(hooks_.trayMissing());
  if (!advice.isEmpty())
    hooks_.report(advice);
}

} // namespace crel
