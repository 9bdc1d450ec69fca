#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace crel {

// The application that was in front, as far as the window server tells.
struct RunningApplication {
  std::optional<qint64> processIdentifier; // absent when its window names none
  QString localizedName;                   // empty when unknown
  quint32 window = 0;                      // its active client window
};

// One on-screen window as the window server describes it.
struct WindowInfo {
  quint32 window = 0;
  std::optional<qint64> ownerPID;
  // 0 for ordinary application windows (normal and dialog types); docks,
  // menus, tooltips and the like sit on other layers.
  std::optional<int> layer;
  std::optional<QString> name;
};

// The window server's view of applications and windows.
class WindowServerInfo {
public:
  virtual ~WindowServerInfo() = default;
  virtual std::optional<RunningApplication> frontmostApplication() = 0;
  // Visible windows on the current desktop, the frontmost first; desktop
  // elements are left out.
  virtual std::vector<WindowInfo> windowsFrontToBack() = 0;

  // The window server of this session (X11; empty answers without one).
  static WindowServerInfo &system();
};

// Prepared answers; for tests and self-checks.
class FakeWindowServerInfo final : public WindowServerInfo {
public:
  std::optional<RunningApplication> frontmostApplication() override { return front; }
  std::vector<WindowInfo> windowsFrontToBack() override { return windows; }

  std::optional<RunningApplication> front;
  std::vector<WindowInfo> windows;
};

} // namespace crel
