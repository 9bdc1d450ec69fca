#include "LiveWindowServer.h"

#include "selfcheck/Failure.h"
#include "selfcheck/Fixtures.h"

#include <QApplication>
#include <QWidget>

#include <xcb/composite.h>
#include <xcb/xcb.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace crel {

namespace {

template <class T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <class T> Reply<T> reply(T *r) { return Reply<T>(r, &std::free); }

constexpr int coverMargin = 80;

} // namespace

LiveWindowServer::LiveWindowServer() {
  if (QGuiApplication::platformName() != QLatin1String("xcb"))
    return;
  int screenNumber = 0;
  connection_ = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(connection_))
    return;
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screenNumber && it.rem; ++i)
    xcb_screen_next(&it);
  root_ = it.data->root;
  const xcb_query_extension_reply_t *ext = xcb_get_extension_data(connection_, &xcb_composite_id);
  if (ext && ext->present) {
    auto version =
        reply(xcb_composite_query_version_reply(connection_, xcb_composite_query_version(connection_, 0, 4), nullptr));
    composite_ = version && (version->major_version > 0 || version->minor_version >= 2);
  }
}

LiveWindowServer::~LiveWindowServer() {
  if (connection_)
    xcb_disconnect(connection_);
}

bool LiveWindowServer::canCapture() const {
  return connection_ && !xcb_connection_has_error(connection_) && composite_;
}

std::optional<LiveWindowServer::Cover> LiveWindowServer::chooseCover(const std::vector<Candidate> &frontToBack,
                                                                     QSize needed, qint64 ownPid) {
  for (const Candidate &c : frontToBack) {
    if (c.layer != 0 || !(c.alpha >= 1.0) || (c.pid && *c.pid == ownPid) || c.window == 0)
      continue;
    if (c.bounds.width() >= needed.width() && c.bounds.height() >= needed.height())
      return Cover{c.window, c.bounds};
  }
  return std::nullopt;
}

quint32 LiveWindowServer::atom(const char *name) {
  auto r =
      reply(xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 0, uint16_t(strlen(name)), name), nullptr));
  return r ? r->atom : 0;
}

std::vector<quint32> LiveWindowServer::listProperty(quint32 window, quint32 property) {
  auto r = reply(xcb_get_property_reply(
      connection_, xcb_get_property(connection_, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr));
  if (!r || r->format != 32)
    return {};
  const auto *values = static_cast<const quint32 *>(xcb_get_property_value(r.get()));
  return {values, values + xcb_get_property_value_length(r.get()) / 4};
}

// The child of the root holding `window`: the window manager's frame.
quint32 LiveWindowServer::frameOf(quint32 window) {
  quint32 current = window;
  for (int depth = 0; depth < 16; ++depth) {
    auto tree = reply(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, current), nullptr));
    if (!tree || tree->parent == root_ || tree->parent == 0)
      return current;
    current = tree->parent;
  }
  return current;
}

QRect LiveWindowServer::geometryOf(quint32 window) {
  auto g = reply(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr));
  if (!g)
    return {};
  auto t = reply(xcb_translate_coordinates_reply(connection_,
                                                 xcb_translate_coordinates(connection_, window, root_, 0, 0), nullptr));
  const QPoint origin = t ? QPoint(t->dst_x, t->dst_y) : QPoint(g->x, g->y);
  // The border belongs to the frame as drawn.
  return {origin, QSize(g->width + 2 * g->border_width, g->height + 2 * g->border_width)};
}

std::vector<LiveWindowServer::Candidate> LiveWindowServer::windowsFrontToBack() {
  const quint32 stateAbove = atom("_NET_WM_STATE_ABOVE"), typeDock = atom("_NET_WM_WINDOW_TYPE_DOCK");
  const quint32 state = atom("_NET_WM_STATE"), type = atom("_NET_WM_WINDOW_TYPE");
  const quint32 opacity = atom("_NET_WM_WINDOW_OPACITY"), pid = atom("_NET_WM_PID");
  std::vector<quint32> clients = listProperty(root_, atom("_NET_CLIENT_LIST_STACKING"));
  bool managed = !clients.empty();
  if (!managed) {
    auto tree = reply(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
    if (tree) {
      const xcb_window_t *children = xcb_query_tree_children(tree.get());
      clients.assign(children, children + xcb_query_tree_children_length(tree.get()));
    }
  }
  std::vector<Candidate> out;
  for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
    Candidate c;
    c.window = *it;
    const quint32 frame = managed ? frameOf(*it) : *it;
    auto attributes =
        reply(xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, frame), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
      continue;
    const std::vector<quint32> states = listProperty(*it, state), types = listProperty(*it, type);
    const bool above = std::find(states.begin(), states.end(), stateAbove) != states.end();
    const bool dock = std::find(types.begin(), types.end(), typeDock) != types.end();
    c.layer = (attributes->override_redirect || above || dock) ? 1 : 0;
    if (const std::vector<quint32> o = listProperty(*it, opacity); !o.empty())
      c.alpha = double(o.front()) / 0xffffffffu;
    if (const std::vector<quint32> p = listProperty(*it, pid); !p.empty())
      c.pid = p.front();
    c.bounds = geometryOf(frame);
    out.push_back(c);
  }
  return out;
}

std::optional<LiveWindowServer::Cover> LiveWindowServer::findCover(QWidget &window) {
  window.show();
  // The frame is known once the window manager has reparented the window.
  NativeTests::pumpUntil([&] { return frameOf(quint32(window.winId())) != quint32(window.winId()); }, 2000, 20);
  NativeTests::pumpFor(100);
  const double dpr = window.devicePixelRatioF();
  const QSize frame = window.frameGeometry().size();
  const QSize needed((QSizeF(frame.width() + coverMargin, frame.height() + coverMargin) * dpr).toSize());
  std::vector<Candidate> candidates = windowsFrontToBack();
  const quint32 own = quint32(window.winId());
  std::erase_if(candidates, [own](const Candidate &c) { return c.window == own; });
  std::optional<Cover> cover = chooseCover(candidates, needed, ::getpid());
  if (!cover)
    window.hide();
  return cover;
}

QImage LiveWindowServer::captureBelow(QWidget &window, const Cover &cover, double scale) {
  const double dpr = window.devicePixelRatioF();
  const QSize frame = window.frameGeometry().size();
  const QPointF centre = QRectF(QRectF(cover.bounds).topLeft() / dpr, QSizeF(cover.bounds.size()) / dpr).center();
  window.move((centre - QPointF(frame.width(), frame.height()) / 2).toPoint());

  // _NET_RESTACK_WINDOW as a pager would send it: below the cover.
  const quint32 client = quint32(window.winId());
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = client;
  message.type = atom("_NET_RESTACK_WINDOW");
  message.data.data32[0] = 2;
  message.data.data32[1] = cover.window;
  message.data.data32[2] = XCB_STACK_MODE_BELOW;
  xcb_send_event(connection_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char *>(&message));
  const quint32 frameWindow = frameOf(client);
  xcb_composite_redirect_window(connection_, frameWindow, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
  xcb_flush(connection_);
  window.update();
  NativeTests::pumpFor(1500);

  const QRect bounds = geometryOf(frameWindow);
  const xcb_pixmap_t pixmap = xcb_generate_id(connection_);
  xcb_composite_name_window_pixmap(connection_, frameWindow, pixmap);
  auto image = reply(xcb_get_image_reply(connection_,
                                         xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, 0, 0,
                                                       uint16_t(bounds.width()), uint16_t(bounds.height()), ~0u),
                                         nullptr));
  xcb_free_pixmap(connection_, pixmap);
  xcb_composite_unredirect_window(connection_, frameWindow, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
  xcb_flush(connection_);
  if (!image || image->depth < 24 || xcb_get_image_data_length(image.get()) < bounds.width() * bounds.height() * 4)
    throw NativeTests::Failure(QStringLiteral("The covered editor window could not be read from the X server"));
  // 24-bit visuals carry no alpha: the picture is opaque.
  const QImage composed =
      QImage(xcb_get_image_data(image.get()), bounds.width(), bounds.height(), bounds.width() * 4, QImage::Format_RGB32)
          .copy();
  const QSize target(int(frame.width() * scale), int(frame.height() * scale));
  return composed.size() == target ? composed
                                   : composed.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace crel
