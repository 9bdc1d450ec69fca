#pragma once

#include "WindowServerInfo.h"

#include <QByteArray>
#include <QHash>

struct xcb_connection_t;

namespace crel {

// EWMH/ICCCM queries over a connection of its own; falls back to the input
// focus and the root's children when no window manager runs.
class X11WindowServerInfo final : public WindowServerInfo {
public:
  // An empty name means $DISPLAY.
  explicit X11WindowServerInfo(QByteArray displayName = {});
  ~X11WindowServerInfo() override;
  X11WindowServerInfo(const X11WindowServerInfo &) = delete;
  X11WindowServerInfo &operator=(const X11WindowServerInfo &) = delete;

  std::optional<RunningApplication> frontmostApplication() override;
  std::vector<WindowInfo> windowsFrontToBack() override;

  // The title an X window shows (_NET_WM_NAME, else WM_NAME); empty if none.
  QString windowTitle(quint32 window);

private:
  bool connectIfNeeded();
  quint32 atom(const char *name);
  QByteArray property(quint32 window, quint32 property, quint32 type, quint32 *actualType = nullptr);
  std::vector<quint32> windowsProperty(quint32 window, const char *name);
  std::optional<quint32> cardinal(quint32 window, const char *name);
  quint32 clientOf(quint32 window, int depth = 0);
  quint32 topLevelOf(quint32 window);
  QString applicationName(std::optional<qint64> pid, quint32 window);

  QByteArray displayName_;
  xcb_connection_t *connection_ = nullptr;
  quint32 root_ = 0;
  QHash<QByteArray, quint32> atoms_;
};

} // namespace crel
