#pragma once

#include "CaptureShortcut.h"
#include "chrome/FocusRing.h"

#include <QPushButton>

#include <functional>
#include <optional>

class QKeyEvent;

namespace crel {

// A push button that shows a shortcut's label and, after a click, records the
// next valid key combination. While recording it takes every key, including
// ones bound to menu actions (Ctrl+Q is recorded, the application does not
// quit); Escape or losing focus ends recording and restores the label.
class ShortcutRecorder : public QPushButton, public FocusRing::Owner {
  Q_OBJECT
public:
  // A hardware key code's level-0 keysym (0 when unknown) and its name on
  // the keyboard (empty when unknown).
  struct Key {
    quint32 keysym = 0;
    QString name;
  };
  using Keymap = std::function<Key(quint32 scanCode)>;

  explicit ShortcutRecorder(QWidget *parent = nullptr);
  ~ShortcutRecorder() override;

  // The recorder that is recording now, if any.
  static ShortcutRecorder *active();

  const CaptureShortcut &shortcut() const { return shortcut_; }
  // Retitles the button unless it is recording.
  void setShortcut(const CaptureShortcut &shortcut);
  bool isRecording() const { return recording_; }
  void setKeymap(Keymap keymap) { keymap_ = std::move(keymap); }
  FocusRing::Shape focusRingShape() const override { return {rect(), 3.0}; }
  // While recording, Return is a key to record.
  bool pressesOnReturn() const override { return !recording_; }

  void beginRecording();
  // Ends recording with `shortcut` as if its keys had been pressed here.
  void record(const CaptureShortcut &shortcut);

Q_SIGNALS:
  // Once per valid recorded combination; the button shows the label of
  // shortcut() after the receivers have run, so they may change it.
  void recorded(const crel::CaptureShortcut &shortcut);

protected:
  bool event(QEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;
  void paintEvent(QPaintEvent *event) override;

private:
  std::optional<CaptureShortcut> shortcutFor(const QKeyEvent &event) const;
  void stopRecording();

  CaptureShortcut shortcut_ = CaptureShortcut::defaultShortcut();
  bool recording_ = false;
  Keymap keymap_;
};

} // namespace crel
