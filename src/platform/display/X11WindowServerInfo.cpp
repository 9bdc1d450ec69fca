#include "X11WindowServerInfo.h"

#include "platform/desktop/DesktopEntryIndex.h"
#include "platform/desktop/X11Atom.h"
#include "platform/files/AppIdentity.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace crel {

namespace {

template <typename T> struct FreeDeleter {
  void operator()(T *p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

std::vector<quint32> toWords(const QByteArray &bytes) {
  std::vector<quint32> words(size_t(bytes.size()) / 4);
  if (!words.empty())
    std::memcpy(words.data(), bytes.constData(), words.size() * 4);
  return words;
}

} // namespace

X11WindowServerInfo::X11WindowServerInfo(QByteArray displayName) : displayName_(std::move(displayName)) {}

X11WindowServerInfo::~X11WindowServerInfo() {
  if (connection_)
    xcb_disconnect(connection_);
}

bool X11WindowServerInfo::connectIfNeeded() {
  if (connection_ && !xcb_connection_has_error(connection_))
    return true;
  if (connection_)
    xcb_disconnect(connection_);
  atoms_.clear();
  int screenNumber = 0;
  connection_ = xcb_connect(displayName_.isEmpty() ? nullptr : displayName_.constData(), &screenNumber);
  if (xcb_connection_has_error(connection_)) {
    xcb_disconnect(connection_);
    connection_ = nullptr;
    return false;
  }
  auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screenNumber && it.rem; ++i)
    xcb_screen_next(&it);
  root_ = it.rem ? it.data->root : 0;
  return root_ != 0;
}

quint32 X11WindowServerInfo::atom(const char *name) {
  const QByteArray key(name);
  auto found = atoms_.constFind(key);
  if (found != atoms_.constEnd())
    return *found;
  const quint32 value = internX11Atom(connection_, key);
  atoms_.insert(key, value);
  return value;
}

QByteArray X11WindowServerInfo::property(quint32 window, quint32 name, quint32 type, quint32 *actualType) {
  XcbReply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(connection_, xcb_get_property(connection_, 0, window, name, type, 0, 1 << 16), nullptr));
  if (actualType)
    *actualType = reply ? reply->type : 0;
  if (!reply || reply->type == XCB_NONE)
    return {};
  return QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                    xcb_get_property_value_length(reply.get()));
}

std::vector<quint32> X11WindowServerInfo::windowsProperty(quint32 window, const char *name) {
  return toWords(property(window, atom(name), XCB_ATOM_WINDOW));
}

std::optional<quint32> X11WindowServerInfo::cardinal(quint32 window, const char *name) {
  const std::vector<quint32> words = toWords(property(window, atom(name), XCB_ATOM_CARDINAL));
  if (words.empty())
    return std::nullopt;
  return words.front();
}

// The window carrying WM_STATE at or below `window`; the window itself when
// nothing does (no window manager).
quint32 X11WindowServerInfo::clientOf(quint32 window, int depth) {
  quint32 type = 0;
  property(window, atom("WM_STATE"), XCB_GET_PROPERTY_TYPE_ANY, &type);
  if (type != XCB_NONE)
    return window;
  if (depth > 3)
    return 0;
  XcbReply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr));
  if (!tree)
    return depth == 0 ? window : 0;
  const xcb_window_t *children = xcb_query_tree_children(tree.get());
  for (int i = xcb_query_tree_children_length(tree.get()) - 1; i >= 0; --i)
    if (quint32 client = clientOf(children[i], depth + 1))
      return client;
  return depth == 0 ? window : 0;
}

quint32 X11WindowServerInfo::topLevelOf(quint32 window) {
  for (int guard = 0; guard < 64 && window != 0 && window != root_; ++guard) {
    XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr));
    if (!tree)
      return 0;
    if (tree->parent == root_)
      return window;
    window = tree->parent;
  }
  return 0;
}

QString X11WindowServerInfo::windowTitle(quint32 window) {
  if (!connectIfNeeded())
    return {};
  const QByteArray utf8 = property(window, atom("_NET_WM_NAME"), atom("UTF8_STRING"));
  if (!utf8.isEmpty())
    return QString::fromUtf8(utf8);
  quint32 type = 0;
  const QByteArray legacy = property(window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, &type);
  if (type == atom("UTF8_STRING"))
    return QString::fromUtf8(legacy);
  // STRING is Latin-1; COMPOUND_TEXT reads the same for its Latin-1 parts.
  return QString::fromLatin1(legacy);
}

QString X11WindowServerInfo::applicationName(std::optional<qint64> pid, quint32 window) {
  if (pid && *pid == QCoreApplication::applicationPid())
    return AppIdentity::name();
  // WM_CLASS holds the instance name, then the class name.
  const QList<QByteArray> wmClass = property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0');
  const QString instance = wmClass.size() >= 1 ? QString::fromLatin1(wmClass[0]) : QString();
  const QString className = wmClass.size() >= 2 ? QString::fromLatin1(wmClass[1]) : QString();
  const QString executable = pid ? QFileInfo(QStringLiteral("/proc/%1/exe").arg(*pid)).symLinkTarget() : QString();
  const QString launcherName = DesktopEntryIndex::system().applicationName(className, instance, executable);
  if (!launcherName.isEmpty())
    return launcherName;
  if (!className.isEmpty())
    return className;
  if (pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(*pid));
    if (comm.open(QIODevice::ReadOnly))
      return QString::fromUtf8(comm.readAll()).trimmed();
  }
  return {};
}

std::optional<RunningApplication> X11WindowServerInfo::frontmostApplication() {
  if (!connectIfNeeded())
    return std::nullopt;
  quint32 client = 0;
  const std::vector<quint32> active = windowsProperty(root_, "_NET_ACTIVE_WINDOW");
  if (!active.empty() && active.front() != 0) {
    client = active.front();
  } else {
    XcbReply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT || focus->focus == root_)
      return std::nullopt;
    const quint32 top = topLevelOf(focus->focus);
    client = top ? clientOf(top) : 0;
  }
  if (client == 0)
    return std::nullopt;
  RunningApplication app;
  app.window = client;
  if (auto pid = cardinal(client, "_NET_WM_PID"))
    app.processIdentifier = qint64(*pid);
  app.localizedName = applicationName(app.processIdentifier, client);
  return app;
}

std::vector<WindowInfo> X11WindowServerInfo::windowsFrontToBack() {
  if (!connectIfNeeded())
    return {};
  std::vector<quint32> stack = windowsProperty(root_, "_NET_CLIENT_LIST_STACKING");
  if (stack.empty()) {
    XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
    if (tree) {
      const xcb_window_t *children = xcb_query_tree_children(tree.get());
      for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i)
        if (quint32 client = clientOf(children[i]))
          stack.push_back(client);
    }
  }
  std::reverse(stack.begin(), stack.end());

  const std::optional<quint32> currentDesktop = cardinal(root_, "_NET_CURRENT_DESKTOP");
  const quint32 hidden = atom("_NET_WM_STATE_HIDDEN");
  const quint32 normal = atom("_NET_WM_WINDOW_TYPE_NORMAL");
  const quint32 dialog = atom("_NET_WM_WINDOW_TYPE_DIALOG");
  const quint32 desktopType = atom("_NET_WM_WINDOW_TYPE_DESKTOP");

  std::vector<WindowInfo> windows;
  for (quint32 window : stack) {
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, window), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
      continue;
    const std::vector<quint32> state = toWords(property(window, atom("_NET_WM_STATE"), XCB_ATOM_ATOM));
    if (std::find(state.begin(), state.end(), hidden) != state.end())
      continue;
    const std::optional<quint32> desktop = cardinal(window, "_NET_WM_DESKTOP");
    if (desktop && currentDesktop && *desktop != 0xffffffffu && *desktop != *currentDesktop)
      continue;
    const std::vector<quint32> types = toWords(property(window, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM));
    if (!types.empty() && types.front() == desktopType)
      continue;

    WindowInfo info;
    info.window = window;
    if (auto pid = cardinal(window, "_NET_WM_PID"))
      info.ownerPID = qint64(*pid);
    const bool ordinary =
        !attributes->override_redirect && (types.empty() || types.front() == normal || types.front() == dialog);
    info.layer = ordinary ? 0 : 1;
    info.name = windowTitle(window);
    windows.push_back(info);
  }
  return windows;
}

} // namespace crel
