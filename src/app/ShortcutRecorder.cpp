#include "ShortcutRecorder.h"

#include "platform/base/Translate.h"
#include "platform/shortcuts/Keysym.h"

#include <QKeyEvent>
#include <QPointer>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace crel {

namespace {

QPointer<ShortcutRecorder> &recordingNow() {
  static QPointer<ShortcutRecorder> recorder;
  return recorder;
}

bool isModifierKey(int key) {
  switch (key) {
  case Qt::Key_Shift:
  case Qt::Key_Control:
  case Qt::Key_Alt:
  case Qt::Key_Meta:
  case Qt::Key_Super_L:
  case Qt::Key_Super_R:
  case Qt::Key_Hyper_L:
  case Qt::Key_Hyper_R:
  case Qt::Key_AltGr:
  case Qt::Key_CapsLock:
  case Qt::Key_NumLock:
  case Qt::Key_ScrollLock: return true;
  default: return false;
  }
}

} // namespace

ShortcutRecorder::ShortcutRecorder(QWidget *parent) : QPushButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setText(shortcut_.label());
  setAccessibleName(tr("Capture shortcut. Click to record a new keyboard shortcut."));
  connect(this, &QPushButton::clicked, this, &ShortcutRecorder::beginRecording);
}

ShortcutRecorder::~ShortcutRecorder() {
  if (recordingNow() == this)
    recordingNow() = nullptr;
}

ShortcutRecorder *ShortcutRecorder::active() { return recordingNow(); }

void ShortcutRecorder::setShortcut(const CaptureShortcut &shortcut) {
  shortcut_ = shortcut;
  if (!recording_)
    setText(shortcut_.label());
}

void ShortcutRecorder::beginRecording() {
  recording_ = true;
  recordingNow() = this;
  setText(tr("Press a shortcut…"));
  setFocus(Qt::OtherFocusReason);
}

void ShortcutRecorder::stopRecording() {
  recording_ = false;
  if (recordingNow() == this)
    recordingNow() = nullptr;
}

void ShortcutRecorder::record(const CaptureShortcut &shortcut) {
  stopRecording();
  Q_EMIT recorded(shortcut);
  setText(shortcut_.label());
}

bool ShortcutRecorder::event(QEvent *event) {
  if (recording_) {
    // Claiming the override keeps menu and window shortcuts from firing;
    // taking the press here keeps Tab from moving the focus.
    if (event->type() == QEvent::ShortcutOverride) {
      event->accept();
      return true;
    }
    if (event->type() == QEvent::KeyPress) {
      keyPressEvent(static_cast<QKeyEvent *>(event));
      return true;
    }
  }
  return QPushButton::event(event);
}

std::optional<CaptureShortcut> ShortcutRecorder::shortcutFor(const QKeyEvent &event) const {
  // The level-0 keysym makes Ctrl+Shift+2 read "2", not "@", and the key's
  // name keeps the shortcut on that key whatever the layout; synthesised
  // events carry no hardware code and fall back to Qt's key.
  Key key = event.nativeScanCode() && keymap_ ? keymap_(event.nativeScanCode()) : Key{};
  if (key.keysym == 0)
    key = {keysym::fromQtKey(event.key()), {}};
  const Qt::KeyboardModifiers held = event.modifiers();
  quint32 mask = 0;
  if (held & Qt::ControlModifier)
    mask |= CaptureShortcut::command;
  if (held & Qt::ShiftModifier)
    mask |= CaptureShortcut::shift;
  if (held & Qt::AltModifier)
    mask |= CaptureShortcut::option;
  if (held & Qt::MetaModifier)
    mask |= CaptureShortcut::control;
  return CaptureShortcut::from(key.keysym, mask, key.name);
}

void ShortcutRecorder::keyPressEvent(QKeyEvent *event) {
  if (!recording_) {
    QPushButton::keyPressEvent(event);
    return;
  }
  event->accept();
  if (isModifierKey(event->key()))
    return;
  if (event->key() == Qt::Key_Escape) {
    stopRecording();
    setText(shortcut_.label());
    return;
  }
  if (const std::optional<CaptureShortcut> shortcut = shortcutFor(*event))
    record(*shortcut);
  else
    setText(tr("Include Ctrl or Super…"));
}

// The focus shows as the chrome's ring around the button, not as the
// style's own frame inside it as well.
void ShortcutRecorder::paintEvent(QPaintEvent *) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  option.state &= ~QStyle::State_HasFocus;
  painter.drawControl(QStyle::CE_PushButton, option);
}

void ShortcutRecorder::focusOutEvent(QFocusEvent *event) {
  if (recording_) {
    stopRecording();
    setText(shortcut_.label());
  }
  QPushButton::focusOutEvent(event);
}

} // namespace crel
