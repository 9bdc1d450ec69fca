#include "ShortcutControl.h"

#include "ShortcutManager.h"
#include "ShortcutRecorder.h"
#include "document/CrelError.h"
#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"

#include <QVBoxLayout>

namespace crel {

ShortcutControl::ShortcutControl(ShortcutManager &manager, QWidget *parent)
    : QWidget(parent), manager_(manager), recorder_(new ShortcutRecorder(this)) {
  setFixedSize(180, 34);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(recorder_);
  recorder_->setKeymap([this](quint32 scanCode) {
    return ShortcutRecorder::Key{manager_.levelZeroKeysym(scanCode), manager_.keyName(scanCode)};
  });
  recorder_->setShortcut(manager_.current());
  connect(&manager_, &ShortcutManager::changed, this, &ShortcutControl::refresh);
  refresh();
  connect(recorder_, &ShortcutRecorder::recorded, this, [this](const CaptureShortcut &shortcut) {
    try {
      manager_.registerShortcut(shortcut);
    } catch (const CrelError &error) {
      setMessage(error.errorDescription());
      return;
    }
    recorder_->setShortcut(manager_.current());
    shortcutLabel_ = manager_.current().label();
    Q_EMIT shortcutLabelChanged(shortcutLabel_);
    setMessage(
        trayMissing_
            ? tr("Shortcut saved. It works while %1 runs; start %1 again to open this window.").arg(AppIdentity::name())
            : tr("Shortcut saved. It works while the app is in the system tray."));
  });
}

void ShortcutControl::refresh() {
  recorder_->setShortcut(manager_.current());
  // Nothing recorded here could work: only the desktop binds keys there.
  recorder_->setEnabled(manager_.problem() != ShortcutManager::Problem::desktopBinding);
}

void ShortcutControl::setMessage(const QString &message) {
  message_ = message;
  Q_EMIT messageChanged(message_);
}

} // namespace crel
