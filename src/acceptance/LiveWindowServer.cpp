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
  try {
    server_ = std::make_unique<acceptance::WindowServer>();
  } catch (const std::exception &) {
    return;
  }
  xcb_connection_t *connection = server_->connection();
  const xcb_query_extension_reply_t *ext = xcb_get_extension_data(connection, &xcb_composite_id);
  if (ext && ext->present) {
    auto version =
        reply(xcb_composite_query_version_reply(connection, xcb_composite_query_version(connection, 0, 4), nullptr));
    composite_ = version && (version->major_version > 0 || version->minor_version >= 2);
  }
}

LiveWindowServer::~LiveWindowServer() = default;

bool LiveWindowServer::canCapture() const {
  return server_ && !xcb_connection_has_error(server_->connection()) && composite_;
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

std::vector<LiveWindowServer::Candidate> LiveWindowServer::windowsFrontToBack() {
  acceptance::WindowServer &server = *server_;
  const quint32 stateAbove = server.atom("_NET_WM_STATE_ABOVE"), typeDock = server.atom("_NET_WM_WINDOW_TYPE_DOCK");
  std::vector<quint32> clients = server.stacking();
  const bool managed = !clients.empty();
  if (!managed)
    clients = server.topLevels();
  std::vector<Candidate> out;
  for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
    Candidate c;
    c.window = *it;
    const quint32 frame = managed ? server.frameOf(*it) : *it;
    auto attributes = reply(xcb_get_window_attributes_reply(
        server.connection(), xcb_get_window_attributes(server.connection(), frame), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
      continue;
    const std::vector<quint32> states = server.words(*it, "_NET_WM_STATE");
    const std::vector<quint32> types = server.words(*it, "_NET_WM_WINDOW_TYPE");
    const bool above = std::find(states.begin(), states.end(), stateAbove) != states.end();
    const bool dock = std::find(types.begin(), types.end(), typeDock) != types.end();
    c.layer = (attributes->override_redirect || above || dock) ? 1 : 0;
    if (const std::vector<quint32> o = server.words(*it, "_NET_WM_WINDOW_OPACITY"); !o.empty())
      c.alpha = double(o.front()) / 0xffffffffu;
    if (const std::vector<quint32> p = server.words(*it, "_NET_WM_PID"); !p.empty())
      c.pid = p.front();
    c.bounds = server.outerBounds(frame);
    out.push_back(c);
  }
  return out;
}

std::optional<LiveWindowServer::Cover> LiveWindowServer::findCover(QWidget &window) {
  window.show();
  // The frame is known once the window manager has reparented the window.
  NativeTests::pumpUntil([&] { return server_->frameOf(quint32(window.winId())) != quint32(window.winId()); }, 2000,
                         20);
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
  xcb_connection_t *connection = server_->connection();
  const quint32 client = quint32(window.winId());
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = client;
  message.type = server_->atom("_NET_RESTACK_WINDOW");
  message.data.data32[0] = 2;
  message.data.data32[1] = cover.window;
  message.data.data32[2] = XCB_STACK_MODE_BELOW;
  xcb_send_event(connection, 0, server_->root(),
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char *>(&message));
  const quint32 frameWindow = server_->frameOf(client);
  xcb_composite_redirect_window(connection, frameWindow, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
  xcb_flush(connection);
  window.update();
  NativeTests::pumpFor(1500);

  const QRect bounds = server_->outerBounds(frameWindow);
  const xcb_pixmap_t pixmap = xcb_generate_id(connection);
  xcb_composite_name_window_pixmap(connection, frameWindow, pixmap);
  auto image = reply(xcb_get_image_reply(connection,
                                         xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, 0, 0,
                                                       uint16_t(bounds.width()), uint16_t(bounds.height()), ~0u),
                                         nullptr));
  xcb_free_pixmap(connection, pixmap);
  xcb_composite_unredirect_window(connection, frameWindow, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
  xcb_flush(connection);
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
