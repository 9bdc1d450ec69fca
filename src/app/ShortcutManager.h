#pragma once

#include "CaptureShortcut.h"
#include "platform/shortcuts/GlobalShortcutPortal.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

namespace crel {

class HotKeyBackend;
struct HotKeyCombination;
class SettingsStore;

// Owns the registration of the global capture shortcut: keeps the current
// choice in the settings store and turns a press of it into one call of the
// capture callback from the event loop. While a shortcut recorder records, a
// press of the held combination goes to that recorder instead, since the
// grab keeps the key from ever reaching its window. A shortcut that cannot
// be grabbed (another program holds it, the keymap lacks its key) stays the
// wanted one: it is grabbed again on retry() and after every keymap change.
// Main thread only.
class ShortcutManager : public QObject {
  Q_OBJECT
public:
  // Why the wanted shortcut does not work now. `desktopBinding`: a Wayland
  // session without the desktop's shortcut portal, where only the desktop
  // can bind a key (to this copy's program with `--capture`).
  enum class Problem { none, taken, notOnKeyboard, noDisplay, desktopBinding };

  // Where the shortcut lives. On a Wayland session a grab through XWayland
  // would fire only while an X11 window has the keyboard, so the desktop's
  // GlobalShortcuts portal binds it, or, without one, nothing does and the
  // user is told how to bind the command.
  struct Desktop {
    bool wayland = false;
    std::unique_ptr<GlobalShortcutPortal> portal; // Wayland only; none when not offered
    // The executable a key binding of the desktop starts; empty: this
    // process's own, read whenever it is named, so a moved copy names itself.
    QString program;
    // sway, whose config reads a command in its own way: the settings give
    // its form beside the shell's.
    bool sway = false;
    // The desktop, as XDG_CURRENT_DESKTOP and KDE_SESSION_VERSION name it: a
    // desktop that bound nothing when asked is asked again once it changes.
    QString name;
    // The session's own: decided from XDG_SESSION_TYPE and WAYLAND_DISPLAY,
    // the portal asked for on Wayland only; sway from its IPC socket.
    static Desktop fromSession();
  };

  // Loads the current shortcut from `defaults`; registers nothing. An empty
  // backend means grabs on $DISPLAY; an empty desktop, the session's own.
  explicit ShortcutManager(SettingsStore &defaults, std::unique_ptr<HotKeyBackend> backend = {},
                           std::optional<Desktop> desktop = std::nullopt, QObject *parent = nullptr);
  // Releases the grab.
  ~ShortcutManager() override;

  // The stored shortcut in the application's settings, for places without a
  // manager at hand.
  static CaptureShortcut savedShortcut();

  // The wanted shortcut, labelled as the current keyboard layout types it.
  const CaptureShortcut &current() const { return current_; }
  // True exactly while `current` is grabbed.
  bool isRegistered() const { return registered_; }
  // The desktop's portal was asked to bind it and has not answered yet.
  bool awaitingDesktop() const { return binding_; }
  // What the last attempt to grab `current` met; none while it is grabbed.
  Problem problem() const { return problem_; }
  // The label, followed by why it does not work while it does not.
  QString statusLabel() const;
  // The sentence to show at launch when the shortcut does not work; empty
  // when it does, and after the first launch for what only the desktop can
  // mend (binding the command on Wayland). It names the way to Settings
  // there is: the tray menu, or, with `trayMissing`, starting the app again.
  QString takeLaunchProblem(bool trayMissing = false);
  // Only the desktop can bind the key, it declined to, and the user was
  // never told how: the advice of takeLaunchProblem() is still to be said,
  // whenever the desktop declined.
  bool bindingAdviceDue() const;

  // Where only the desktop binds keys: why, and what to bind. The command as
  // a shell reads it, and sway's config line for it on a sway session (else empty).
  static QString bindingSentence();
  QString captureCommand() const;
  QString swayBinding() const;

  // Makes `shortcut` the grabbed, current and stored shortcut, or changes
  // nothing and throws CrelError::shortcut with the sentence to show.
  void registerShortcut(const CaptureShortcut &shortcut);
  // Grabs `current` unless it already is; true when it is grabbed after.
  bool retry();

  // What a press does; runs only while `owner` lives (no owner: always).
  void setOnCapture(QObject *owner, std::function<void()> onCapture);

  // The level-0 keysym and the keyboard's name of a hardware key code, for
  // the recorder; 0 and empty when unknown.
  quint32 levelZeroKeysym(quint32 keycode) const;
  QString keyName(quint32 keycode) const;

Q_SIGNALS:
  // The current shortcut, its label or whether it works changed.
  void changed();

private:
  void pressed(const HotKeyCombination &combination);
  void capture();
  void keymapChanged();
  // Follows the desktop's binding instead where it bound nothing when last
  // asked, as it will again, unless the user `chose` the shortcut just now.
  void bindThroughPortal(bool chose);
  QString portalDesktop() const;
  void setState(bool registered, Problem problem);
  CaptureShortcut asTyped(const CaptureShortcut &shortcut) const;
  QString noDisplayText() const;

  SettingsStore &defaults_;
  std::unique_ptr<HotKeyBackend> backend_;
  Desktop desktop_;
  bool binding_ = false;
  // The desktop will not bind the shortcut (no portal, or it declined), as
  // opposed to letting go of a binding it made: what the advice is for.
  bool refused_ = false;
  QString portalTrigger_;
  CaptureShortcut current_;
  bool registered_ = false;
  Problem problem_ = Problem::none;
  QPointer<QObject> captureOwner_;
  bool ownedCapture_ = false;
  std::function<void()> onCapture_;
};

} // namespace crel
