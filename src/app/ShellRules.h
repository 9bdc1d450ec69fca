#pragma once

#include "platform/desktop/ShellWindow.h"

#include <QDateTime>
#include <QList>
#include <QRect>
#include <QString>

#include <optional>
#include <vector>

namespace crel {

// The application shell's decisions as functions of plain state, so that each
// rule is tested over fake windows without a display.
namespace ShellRules {

using Windows = std::vector<const ShellWindow *>;

// Whether an update must not install now: a capture runs, a modal dialog is
// up, or a visible window shows a sheet or is an open/save dialog.
bool isBusy(bool captureIdle, bool hasModalWindow, const Windows &windows);

// Qt keeps a minimised window visible, and active after another program
// took the keyboard; it is out of the user's way all the same.
bool onScreen(const ShellWindow &window);

struct IdleState {
  QDateTime now;
  QDateTime lastInteraction;
  bool captureIdle = true;
  bool hasEditors = false;
  bool applicationActive = false;
  bool statusMenuOpen = false;
};
// Whether a quiet update may install: a minute without interaction (exactly
// a minute counts), no main-capable window on screen (minimised ones are
// not), no capture, no editor, the application in the background and its
// status menu closed.
bool isIdle(const IdleState &state, const Windows &windows);

// The editor whose window is key, else main, tested per editor in list
// order: an earlier main window wins over a later key one. -1 for none.
int currentEditor(const Windows &editorWindows);

// The first window that shows a sheet, in the given order; a new capture
// brings it forward instead of starting.
const ShellWindow *firstWithSheet(const Windows &windows);

// The one-shot hand-back after a relaunch that restored nothing: hide only
// before the deadline, with no editor and no visible main-capable window.
bool shouldYieldActivation(const QDateTime &now, const QDateTime &deadline, bool hasEditors, const Windows &windows);

// The welcome window's scroll height for the main screen's available height
// (none without a screen): 80 less than the screen, at most 760, and never
// below a usable minimum on a short screen.
int welcomeHeight(std::optional<int> availableHeight);
constexpr int welcomeWidth = 524;
constexpr int welcomeMinimumHeight = 240;

// Where a restored window goes: none when its saved frame meets no screen's
// available area; otherwise moved (and if need be shrunk) fully onto the
// screen it overlaps most, so its title bar stays reachable.
std::optional<QRect> restoredFrame(const QRect &saved, const QList<QRect> &availableAreas);

// One entry of the open-screenshots submenu.
struct ScreenshotEntry {
  QString title;
  Qt::CheckState state = Qt::Unchecked; // partial: minimised; checked: key
  int editor = -1;                      // index into the editor list
  friend bool operator==(const ScreenshotEntry &, const ScreenshotEntry &) = default;
};
// Newest first from editor windows listed oldest first (null: no window).
std::vector<ScreenshotEntry> screenshotEntries(const Windows &editorWindows);

// The status item's text and accessibility label.
struct StatusText {
  QString title; // empty: the icon alone
  bool variableLength = false;
  QString accessibilityLabel;
  friend bool operator==(const StatusText &, const StatusText &) = default;
};
StatusText statusText(const QString &applicationName, bool showingCopied, bool updateKnown);

} // namespace ShellRules

} // namespace crel
