#include "WindowServer.h"

#include "platform/desktop/X11Atom.h"

#include <xcb/xcb.h>

#include <cmath>
#include <memory>
#include <stdexcept>

namespace crel::acceptance {

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> reply(T *raw) { return Reply<T>(raw, &std::free); }

} // namespace

WindowServer::WindowServer(QByteArray displayName) {
  int screenNumber = 0;
  connection_ = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
  if (xcb_connection_has_error(connection_)) {
    xcb_disconnect(connection_);
    connection_ = nullptr;
    throw std::runtime_error("No X server for the acceptance harness");
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screenNumber && it.rem; ++i)
    xcb_screen_next(&it);
  root_ = it.data->root;
}

WindowServer::~WindowServer() {
  if (connection_)
    xcb_disconnect(connection_);
}

quint32 WindowServer::atom(const char *name) {
  if (const auto it = atoms_.constFind(name); it != atoms_.cend())
    return *it;
  const quint32 value = internX11Atom(connection_, name);
  atoms_.insert(name, value);
  return value;
}

std::optional<quint32> WindowServer::cardinal(quint32 window, const char *name) {
  auto answer = reply(xcb_get_property_reply(
      connection_, xcb_get_property(connection_, 0, window, atom(name), XCB_ATOM_ANY, 0, 1), nullptr));
  if (!answer || answer->format != 32 || xcb_get_property_value_length(answer.get()) < 4)
    return std::nullopt;
  return *static_cast<const quint32 *>(xcb_get_property_value(answer.get()));
}

std::vector<quint32> WindowServer::windows(quint32 window, const char *name) {
  auto answer = reply(xcb_get_property_reply(
      connection_, xcb_get_property(connection_, 0, window, atom(name), XCB_ATOM_WINDOW, 0, 1 << 16), nullptr));
  if (!answer || answer->format != 32)
    return {};
  const auto *values = static_cast<const quint32 *>(xcb_get_property_value(answer.get()));
  return {values, values + xcb_get_property_value_length(answer.get()) / 4};
}

std::vector<quint32> WindowServer::words(quint32 window, const char *name) {
  auto answer = reply(xcb_get_property_reply(
      connection_, xcb_get_property(connection_, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr));
  if (!answer || answer->format != 32)
    return {};
  const auto *values = static_cast<const quint32 *>(xcb_get_property_value(answer.get()));
  return {values, values + xcb_get_property_value_length(answer.get()) / 4};
}

std::vector<quint32> WindowServer::topLevels() {
  auto tree = reply(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
  if (!tree)
    return {};
  const xcb_window_t *children = xcb_query_tree_children(tree.get());
  return {children, children + xcb_query_tree_children_length(tree.get())};
}

quint32 WindowServer::frameOf(quint32 window) {
  quint32 current = window;
  for (int depth = 0; depth < 16; ++depth) {
    auto tree = reply(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, current), nullptr));
    if (!tree || tree->parent == root_ || tree->parent == 0)
      return current;
    current = tree->parent;
  }
  return current;
}

QRect WindowServer::outerBounds(quint32 window) {
  auto g = reply(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr));
  if (!g)
    return {};
  auto t = reply(xcb_translate_coordinates_reply(connection_,
                                                 xcb_translate_coordinates(connection_, window, root_, 0, 0), nullptr));
  const QPoint origin = t ? QPoint(t->dst_x, t->dst_y) : QPoint(g->x, g->y);
  // The border belongs to the frame as drawn.
  return {origin, QSize(g->width + 2 * g->border_width, g->height + 2 * g->border_width)};
}

std::optional<ServerWindow> WindowServer::describe(quint32 window) {
  auto attributes =
      reply(xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, window), nullptr));
  auto geometry = reply(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr));
  if (!attributes || !geometry)
    return std::nullopt;
  auto origin = reply(xcb_translate_coordinates_reply(
      connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0), nullptr));
  if (!origin)
    return std::nullopt;
  ServerWindow info;
  info.window = window;
  info.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
  info.overrideRedirect = attributes->override_redirect != 0;
  info.bounds = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
  if (const auto pid = cardinal(window, "_NET_WM_PID"))
    info.pid = *pid;
  const quint32 utf8 = atom("UTF8_STRING");
  for (const auto &[name, type] :
       {std::pair{atom("_NET_WM_NAME"), utf8}, std::pair{quint32(XCB_ATOM_WM_NAME), quint32(XCB_ATOM_ANY)}}) {
    auto title = reply(
        xcb_get_property_reply(connection_, xcb_get_property(connection_, 0, window, name, type, 0, 4096), nullptr));
    if (title && xcb_get_property_value_length(title.get()) > 0) {
      info.title = QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(title.get())),
                                     xcb_get_property_value_length(title.get()));
      break;
    }
  }
  return info;
}

std::vector<ServerWindow> WindowServer::list() {
  std::vector<ServerWindow> result;
  const std::vector<quint32> stacking = windows(root_, "_NET_CLIENT_LIST_STACKING");
  for (auto it = stacking.rbegin(); it != stacking.rend(); ++it)
    if (auto info = describe(*it))
      result.push_back(*info);
  const std::vector<quint32> children = topLevels();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    auto info = describe(*it);
    if (info && info->overrideRedirect)
      result.push_back(*info);
  }
  return result;
}

std::optional<ServerWindow> WindowServer::find(qint64 pid, const QString &title, bool overrideRedirect) {
  for (const ServerWindow &window : list())
    if (window.pid == pid && window.overrideRedirect == overrideRedirect && (title.isNull() || window.title == title))
      return window;
  return std::nullopt;
}

bool WindowServer::showsWindows(qint64 pid) {
  for (const ServerWindow &window : list())
    if (window.pid == pid && window.viewable)
      return true;
  return false;
}

quint32 WindowServer::activeWindow() { return cardinal(root_, "_NET_ACTIVE_WINDOW").value_or(0); }

std::optional<qint64> WindowServer::frontmostPid() {
  const quint32 active = activeWindow();
  if (active == 0)
    return std::nullopt;
  if (const auto pid = cardinal(active, "_NET_WM_PID"))
    return *pid;
  return std::nullopt;
}

void WindowServer::activate(quint32 window) {
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = atom("_NET_ACTIVE_WINDOW");
  event.data.data32[0] = 2; // a pager asks: no focus-stealing prevention
  event.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(connection_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char *>(&event));
  xcb_flush(connection_);
}

QRect logicalRect(const QRect &devicePixels, qreal devicePixelRatio) {
  const auto scale = [devicePixelRatio](int value) { return static_cast<int>(std::lround(value / devicePixelRatio)); };
  return {scale(devicePixels.x()), scale(devicePixels.y()), scale(devicePixels.width()), scale(devicePixels.height())};
}

} // namespace crel::acceptance
