#pragma once

#include <QString>
#include <QWidget>

namespace crel {

class ShortcutManager;
class ShortcutRecorder;

// The recorder as the welcome and settings window shows it: a recorded
// combination is registered with the manager, and the outcome is reported
// through `message` (the line under the control) and `shortcutLabel`.
class ShortcutControl : public QWidget {
  Q_OBJECT
public:
  explicit ShortcutControl(ShortcutManager &manager, QWidget *parent = nullptr);

  ShortcutRecorder &recorder() { return *recorder_; }
  QString message() const { return message_; }
  QString shortcutLabel() const { return shortcutLabel_; }
  // The desktop has no tray: a saved shortcut's message does not send anyone there.
  void setTrayMissing(bool missing) { trayMissing_ = missing; }

Q_SIGNALS:
  void messageChanged(const QString &message);
  void shortcutLabelChanged(const QString &label);

private:
  // Shows the manager's current shortcut (unless recording).
  void refresh();
  void setMessage(const QString &message);

  ShortcutManager &manager_;
  ShortcutRecorder *recorder_;
  QString message_;
  QString shortcutLabel_;
  bool trayMissing_ = false;
};

} // namespace crel
