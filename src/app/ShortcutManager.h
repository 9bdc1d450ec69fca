#pragma once

#include "CaptureShortcut.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

namespace crel {

class HotKeyBackend;
struct HotKeyCombination;
class SettingsStore;

// Owns the registration of the global capture shortcut: keeps the current
// choice in the settings store and turns a press of it into one call of the
// capture callback from the event loop. While a shortcut recorder records, a
// press of the held combination goes to that recorder instead, since the
// grab keeps the key from ever reaching its window. Main thread only.
class ShortcutManager : public QObject {
  Q_OBJECT
public:
  // Loads the current shortcut from `defaults`; registers nothing. An empty
  // backend means grabs on $DISPLAY.
  explicit ShortcutManager(SettingsStore &defaults, std::unique_ptr<HotKeyBackend> backend = {},
                           QObject *parent = nullptr);
  // Releases the grab.
  ~ShortcutManager() override;

  // The stored shortcut in the application's settings, for places without a
  // manager at hand.
  static CaptureShortcut savedShortcut();

  const CaptureShortcut &current() const { return current_; }
  // True exactly while `current` is grabbed.
  bool isRegistered() const { return registered_; }

  // Makes `shortcut` the grabbed, current and stored shortcut, or changes
  // nothing and throws CrelError::shortcut with the sentence to show.
  void registerShortcut(const CaptureShortcut &shortcut);

  // What a press does; runs only while `owner` lives (no owner: always).
  void setOnCapture(QObject *owner, std::function<void()> onCapture);

  // The level-0 keysym of a hardware key code, for the recorder; 0 if none.
  quint32 levelZeroKeysym(quint32 keycode) const;

private:
  void pressed(const HotKeyCombination &combination);

  SettingsStore &defaults_;
  std::unique_ptr<HotKeyBackend> backend_;
  CaptureShortcut current_;
  bool registered_ = false;
  QPointer<QObject> captureOwner_;
  bool ownedCapture_ = false;
  std::function<void()> onCapture_;
};

} // namespace crel
