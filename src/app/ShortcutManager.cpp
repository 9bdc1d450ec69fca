#include "ShortcutManager.h"

#include "ShortcutRecorder.h"
#include "document/CrelError.h"
#include "platform/HotKeyBackend.h"
#include "platform/SettingsStore.h"
#include "platform/Translate.h"

namespace crel {

namespace {

HotKeyCombination combinationOf(const CaptureShortcut &shortcut) { return {shortcut.keyCode, shortcut.xModifiers()}; }

} // namespace

ShortcutManager::ShortcutManager(SettingsStore &defaults, std::unique_ptr<HotKeyBackend> backend, QObject *parent)
    : QObject(parent), defaults_(defaults), backend_(std::move(backend)), current_(CaptureShortcut::load(defaults)) {
  if (!backend_)
    backend_ = std::make_unique<HotKeyBackend>();
  connect(backend_.get(), &HotKeyBackend::activated, this, &ShortcutManager::pressed);
  connect(backend_.get(), &HotKeyBackend::grabLost, this, [this](const HotKeyCombination &lost) {
    if (registered_ && lost == combinationOf(current_))
      registered_ = false;
  });
}

ShortcutManager::~ShortcutManager() {
  if (registered_)
    backend_->ungrab(combinationOf(current_));
}

CaptureShortcut ShortcutManager::savedShortcut() { return CaptureShortcut::load(SettingsStore::standard()); }

void ShortcutManager::registerShortcut(const CaptureShortcut &shortcut) {
  if (registered_ && shortcut.sameCombination(current_)) {
    // The grab already covers this key; grabbing it again and releasing the
    // old one would release the only grab there is.
    if (shortcut != current_) {
      current_ = shortcut;
      current_.save(defaults_);
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
  registered_ = true;
  current_ = shortcut;
  current_.save(defaults_);
}

void ShortcutManager::setOnCapture(QObject *owner, std::function<void()> onCapture) {
  captureOwner_ = owner;
  ownedCapture_ = owner != nullptr;
  onCapture_ = std::move(onCapture);
}

quint32 ShortcutManager::levelZeroKeysym(quint32 keycode) const { return backend_->levelZeroKeysym(keycode); }

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
