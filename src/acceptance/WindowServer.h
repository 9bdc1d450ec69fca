#pragma once

#include <QByteArray>
#include <QHash>
#include <QRect>
#include <QString>

#include <optional>
#include <vector>

struct xcb_connection_t;

namespace crel::acceptance {

// One top-level window as the X server describes it.
struct ServerWindow {
  quint32 window = 0;
  std::optional<qint64> pid;
  QString title;
  QRect bounds; // the client area in root coordinates, device pixels
  bool viewable = false;
  bool overrideRedirect = false;
};

// The window server's facts the harness trusts instead of a process's word:
// windows by pid and title, their client rectangles, the active window and
// its pid, activation as a pager would ask. A connection of its own.
class WindowServer {
public:
  explicit WindowServer(QByteArray displayName = {});
  ~WindowServer();
  WindowServer(const WindowServer &) = delete;
  WindowServer &operator=(const WindowServer &) = delete;

  // Managed clients front to back, then override-redirect top levels.
  std::vector<ServerWindow> list();
  // One window's facts; none when the server does not know it.
  std::optional<ServerWindow> info(quint32 window) { return describe(window); }
  std::optional<ServerWindow> find(qint64 pid, const QString &title, bool overrideRedirect = false);
  // Whether the process shows any viewable top-level window.
  bool showsWindows(qint64 pid);
  quint32 activeWindow();
  std::optional<qint64> frontmostPid();
  // Asks the window manager to activate the window (source: pager).
  void activate(quint32 window);

  // The managed clients bottom to top (_NET_CLIENT_LIST_STACKING); empty
  // without a window manager.
  std::vector<quint32> stacking() { return windows(root_, "_NET_CLIENT_LIST_STACKING"); }
  // The root's children bottom to top.
  std::vector<quint32> topLevels();
  // The child of the root holding `window`: the window manager's frame.
  quint32 frameOf(quint32 window);
  // A window's rectangle in root coordinates, its border included.
  QRect outerBounds(quint32 window);
  // A 32-bit list property of any type; empty when unset.
  std::vector<quint32> words(quint32 window, const char *name);

  xcb_connection_t *connection() const { return connection_; }
  quint32 root() const { return root_; }
  quint32 atom(const char *name);

private:
  std::optional<quint32> cardinal(quint32 window, const char *name);
  std::vector<quint32> windows(quint32 window, const char *name);
  std::optional<ServerWindow> describe(quint32 window);

  xcb_connection_t *connection_ = nullptr;
  quint32 root_ = 0;
  QHash<QByteArray, quint32> atoms_;
};

// Device pixels to logical ones at a whole device pixel ratio.
QRect logicalRect(const QRect &devicePixels, qreal devicePixelRatio);

} // namespace crel::acceptance
