#pragma once

#include "platform/desktop/ShellWindow.h"

#include <vector>

namespace crel::WindowPresentation {

// Object names of the settings (welcome) window and of the keyboard-shortcuts window.
inline constexpr char settings[] = "settings";
inline constexpr char shortcuts[] = "shortcuts";

using Windows = std::vector<ShellWindow *>;

struct ReopenAction {
  enum class Kind { nothing, openSettings, bringForward };
  Kind kind = Kind::nothing;
  ShellWindow *window = nullptr; // for bringForward
  friend bool operator==(const ReopenAction &, const ReopenAction &) = default;
};

// What reopening the application (a plain second launch) brings forward.
// `windows` are the application's windows front to back, `editors` the
// editor windows in connection order; hidden, minimised and panel windows
// do not count as ordered on screen. Capturing: nothing. Else the first
// ordered window showing a sheet, else the first ordered editor window,
// else the settings when there is no editor, else the newest editor (a
// minimised one comes back).
ReopenAction reopenAction(bool capturing, const Windows &windows, const Windows &editors);

// How the launch sequence ends, decided after any update session was
// restored and any image the launch was asked to open was opened.
enum class LaunchEnd {
  capture,  // a capture starts; nothing else
  handBack, // an update relaunch that restored nothing hands the activation back
  settings, // a deliberate ordinary launch shows the settings
  nothing,  // a login launch, or editors are open
};
LaunchEnd launchEnd(bool capture, bool launchedAtLogin, bool sessionExisted, bool hasEditors);

} // namespace crel::WindowPresentation
