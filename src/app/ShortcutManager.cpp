#include "ShortcutManager.h"

#include "ShortcutRecorder.h"
#include "document/CrelError.h"
#include "platform/AppIdentity.h"
#include "platform/HotKeyBackend.h"
#include "platform/SettingsStore.h"
#include "platform/Translate.h"

namespace crel {

namespace {

// A named key is grabbed by its name alone: what it types changes with the layout.
HotKeyCombination combinationOf(const CaptureShortcut &shortcut) {
  if (!shortcut.key.isEmpty())
    return {0, shortcut.xModifiers(), shortcut.key.toLatin1()};
  return {shortcut.keyCode, shortcut.xModifiers(), {}};
}

ShortcutManager::Problem problemOf(HotKeyBackend::GrabResult result) {
  switch (result) {
  case HotKeyBackend::GrabResult::grabbed: break;
  case HotKeyBackend::GrabResult::taken: return ShortcutManager::Problem::taken;
  case HotKeyBackend::GrabResult::notOnKeyboard: return ShortcutManager::Problem::notOnKeyboard;
  case HotKeyBackend::GrabResult::noDisplay: return ShortcutManager::Problem::noDisplay;
  }
  return ShortcutManager::Problem::none;
}

} // namespace

ShortcutManager::ShortcutManager(SettingsStore &defaults, std::unique_ptr<HotKeyBackend> backend, QObject *parent)
    : QObject(parent), defaults_(defaults), backend_(std::move(backend)), current_(CaptureShortcut::load(defaults)) {
  if (!backend_)
    backend_ = std::make_unique<HotKeyBackend>();
  current_ = asTyped(current_);
  connect(backend_.get(), &HotKeyBackend::activated, this, &ShortcutManager::pressed);
  connect(backend_.get(), &HotKeyBackend::grabLost, this, [this](const HotKeyCombination &lost) {
    if (registered_ && lost == combinationOf(current_))
      setState(false, Problem::notOnKeyboard);
  });
  connect(backend_.get(), &HotKeyBackend::keymapChanged, this, &ShortcutManager::keymapChanged);
}

ShortcutManager::~ShortcutManager() {
  if (registered_)
    backend_->ungrab(combinationOf(current_));
}

CaptureShortcut ShortcutManager::savedShortcut() { return CaptureShortcut::load(SettingsStore::standard()); }

CaptureShortcut ShortcutManager::asTyped(const CaptureShortcut &shortcut) const {
  if (shortcut.key.isEmpty())
    return shortcut;
  const quint32 keycode = backend_->keycodeOf(shortcut.key.toLatin1());
  return keycode ? shortcut.typing(backend_->levelZeroKeysym(keycode)) : shortcut;
}

QString ShortcutManager::statusLabel() const {
  switch (problem_) {
  case Problem::none: break;
  case Problem::taken: return tr("%1 — in use by another app").arg(current_.label());
  case Problem::notOnKeyboard: return tr("%1 — not on this keyboard").arg(current_.label());
  case Problem::noDisplay: return tr("%1 — needs an X11 session").arg(current_.label());
  }
  return current_.label();
}

QString ShortcutManager::launchProblem() const {
  switch (problem_) {
  case Problem::none: break;
  case Problem::taken:
    return tr("The capture shortcut %1 is in use by another app, so it does not capture yet. To choose another, "
              "open Settings from the tray menu and click the shortcut. %2 tries %1 again whenever Settings or "
              "the tray menu opens.")
        .arg(current_.label(), AppIdentity::name());
  case Problem::notOnKeyboard:
    return tr("The capture shortcut %1 cannot be typed on this keyboard. To choose another, open Settings from the "
              "tray menu and click the shortcut.")
        .arg(current_.label());
  case Problem::noDisplay:
    return tr("Global shortcuts need an X11 session. Bind 'crel --capture' to a key in your desktop's keyboard "
              "settings instead.");
  }
  return {};
}

void ShortcutManager::setState(bool registered, Problem problem) {
  if (registered == registered_ && problem == problem_)
    return;
  registered_ = registered;
  problem_ = problem;
  Q_EMIT changed();
}

void ShortcutManager::registerShortcut(const CaptureShortcut &wanted) {
  const CaptureShortcut shortcut = asTyped(wanted);
  if (registered_ && shortcut.sameCombination(current_)) {
    // The grab already covers this key; grabbing it again and releasing the
    // old one would release the only grab there is.
    if (shortcut != current_) {
      current_ = shortcut;
      current_.save(defaults_);
      Q_EMIT changed();
    }
    return;
  }
  switch (backend_->grab(combinationOf(shortcut))) {
  case HotKeyBackend::GrabResult::grabbed: break;
  case HotKeyBackend::GrabResult::noDisplay:
    throw CrelError::shortcut(tr("Global shortcuts need an X11 session. Bind 'crel --capture' to a key in your "
                                 "desktop's keyboard settings instead."));
  case HotKeyBackend::GrabResult::notOnKeyboard:
    throw CrelError::shortcut(shortcut.label() % tr(" cannot be typed on this keyboard. Choose a different shortcut. "
                                                    "Your previous shortcut is unchanged."));
  case HotKeyBackend::GrabResult::taken:
    throw CrelError::shortcut(shortcut.label() % tr(" is already used by another app or the desktop. Choose a "
                                                    "different shortcut. Your previous shortcut is unchanged."));
  }
  // The new grab is in place before the old one goes, so a failure above
  // never leaves the application without a working shortcut.
  if (registered_)
    backend_->ungrab(combinationOf(current_));
  current_ = shortcut;
  current_.save(defaults_);
  registered_ = true;
  problem_ = Problem::none;
  Q_EMIT changed();
}

bool ShortcutManager::retry() {
  if (registered_)
    return true;
  const HotKeyBackend::GrabResult result = backend_->grab(combinationOf(current_));
  setState(result == HotKeyBackend::GrabResult::grabbed, problemOf(result));
  return registered_;
}

void ShortcutManager::keymapChanged() {
  const CaptureShortcut relabelled = asTyped(current_);
  const bool relabel = relabelled != current_;
  current_ = relabelled;
  // A key that left the keymap, or a grab another program held, may be back.
  retry();
  if (relabel)
    Q_EMIT changed();
}

void ShortcutManager::setOnCapture(QObject *owner, std::function<void()> onCapture) {
  captureOwner_ = owner;
  ownedCapture_ = owner != nullptr;
  onCapture_ = std::move(onCapture);
}

quint32 ShortcutManager::levelZeroKeysym(quint32 keycode) const { return backend_->levelZeroKeysym(keycode); }

QString ShortcutManager::keyName(quint32 keycode) const { return QString::fromLatin1(backend_->keyName(keycode)); }

void ShortcutManager::pressed(const HotKeyCombination &combination) {
  if (!registered_ || combination != combinationOf(current_))
    return;
  if (ShortcutRecorder *recorder = ShortcutRecorder::active()) {
    recorder->record(current_);
    return;
  }
  if (onCapture_ && (!ownedCapture_ || captureOwner_))
    onCapture_();
}

} // namespace crel
