#include "WaylandOutputs.h"

#include "platform/desktop/WaylandSession.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QTransform>

#include <wayland-client.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <numeric>
#include <sys/mman.h>
#include <unistd.h>

namespace crel {
Q_DECLARE_LOGGING_CATEGORY(lcPortal)
} // namespace crel

namespace crel::WaylandOutputs {

namespace {

struct Output {
  wl_output *output = nullptr;
  zxdg_output_v1 *xdg = nullptr;
  QString name;
  QPoint position;
  QSize logicalSize;
  QSize mode;
  int transform = WL_OUTPUT_TRANSFORM_NORMAL;
  bool hasLogical = false;
};

// One short-lived connection: the registry's outputs and the globals we use.
struct Session {
  wl_display *display = nullptr;
  wl_registry *registry = nullptr;
  zxdg_output_manager_v1 *xdgManager = nullptr;
  zwlr_screencopy_manager_v1 *screencopy = nullptr;
  wl_shm *shm = nullptr;
  std::vector<std::unique_ptr<Output>> outputs;

  ~Session() {
    for (auto &o : outputs) {
      if (o->xdg)
        zxdg_output_v1_destroy(o->xdg);
      if (o->output)
        wl_output_destroy(o->output);
    }
    if (screencopy)
      zwlr_screencopy_manager_v1_destroy(screencopy);
    if (xdgManager)
      zxdg_output_manager_v1_destroy(xdgManager);
    if (shm)
      wl_shm_destroy(shm);
    if (registry)
      wl_registry_destroy(registry);
    if (display)
      wl_display_disconnect(display);
  }
};

const wl_output_listener outputListener{
    [](void *data, wl_output *, int32_t, int32_t, int32_t, int32_t, int32_t, const char *, const char *,
       int32_t transform) { static_cast<Output *>(data)->transform = transform; },
    [](void *data, wl_output *, uint32_t flags, int32_t width, int32_t height, int32_t) {
      if (flags & WL_OUTPUT_MODE_CURRENT)
        static_cast<Output *>(data)->mode = QSize(width, height);
    },
    [](void *, wl_output *) {},
    [](void *, wl_output *, int32_t) {},
#ifdef WL_OUTPUT_NAME_SINCE_VERSION
    [](void *, wl_output *, const char *) {},
    [](void *, wl_output *, const char *) {},
#endif
};

const zxdg_output_v1_listener xdgOutputListener{
    [](void *data, zxdg_output_v1 *, int32_t x, int32_t y) { static_cast<Output *>(data)->position = QPoint(x, y); },
    [](void *data, zxdg_output_v1 *, int32_t width, int32_t height) {
      auto *output = static_cast<Output *>(data);
      output->logicalSize = QSize(width, height);
      output->hasLogical = true;
    },
    [](void *, zxdg_output_v1 *) {},
    [](void *data, zxdg_output_v1 *, const char *name) { static_cast<Output *>(data)->name = QString::fromUtf8(name); },
    [](void *, zxdg_output_v1 *, const char *) {},
};

const wl_registry_listener registryListener{
    [](void *data, wl_registry *registry, uint32_t id, const char *interface, uint32_t version) {
      auto *session = static_cast<Session *>(data);
      const QByteArray name(interface);
      if (name == wl_output_interface.name) {
        auto output = std::make_unique<Output>();
        output->output =
            static_cast<wl_output *>(wl_registry_bind(registry, id, &wl_output_interface, std::min(version, 2u)));
        session->outputs.push_back(std::move(output));
      } else if (name == zxdg_output_manager_v1_interface.name && version >= 2) {
        session->xdgManager = static_cast<zxdg_output_manager_v1 *>(
            wl_registry_bind(registry, id, &zxdg_output_manager_v1_interface, std::min(version, 3u)));
      } else if (name == zwlr_screencopy_manager_v1_interface.name) {
        session->screencopy = static_cast<zwlr_screencopy_manager_v1 *>(
            wl_registry_bind(registry, id, &zwlr_screencopy_manager_v1_interface, 1));
      } else if (name == wl_shm_interface.name) {
        session->shm = static_cast<wl_shm *>(wl_registry_bind(registry, id, &wl_shm_interface, 1));
      }
    },
    [](void *, wl_registry *, uint32_t) {},
};

// Connects and learns every output's mode, transform, name and logical
// rectangle.
std::unique_ptr<Session> open(const QProcessEnvironment &environment, const QDeadlineTimer &deadline) {
  auto session = std::make_unique<Session>();
  session->display = WaylandSession::connect(environment);
  if (!session->display)
    return nullptr;
  session->registry = wl_display_get_registry(session->display);
  wl_registry_add_listener(session->registry, &registryListener, session.get());
  if (!WaylandSession::roundtrip(session->display, deadline) || !session->xdgManager)
    return nullptr;
  for (auto &output : session->outputs) {
    wl_output_add_listener(output->output, &outputListener, output.get());
    output->xdg = zxdg_output_manager_v1_get_xdg_output(session->xdgManager, output->output);
    zxdg_output_v1_add_listener(output->xdg, &xdgOutputListener, output.get());
  }
  if (!WaylandSession::roundtrip(session->display, deadline))
    return nullptr;
  return session;
}

QSize shownSize(const Output &output) {
  // A quarter turn shows the mode on its side.
  return output.transform % 2 ? output.mode.transposed() : output.mode;
}

// Whether some scale from 1/8 to 8 makes the logical size of the pixels on
// both axes; no compositor lays an output out otherwise.
bool scalable(const WaylandOutput &output) {
  const auto within = [](qint64 pixels, qint64 logical) { return pixels <= 8 * logical && logical <= 8 * pixels; };
  return within(output.pixels.width(), output.logical.width()) &&
         within(output.pixels.height(), output.logical.height());
}

} // namespace

std::optional<std::vector<WaylandOutput>> query(const QProcessEnvironment &environment, int timeoutMs) {
  const std::unique_ptr<Session> session = open(environment, QDeadlineTimer(timeoutMs));
  if (!session)
    return std::nullopt;
  std::vector<WaylandOutput> outputs;
  for (const auto &output : session->outputs) {
    if (!output->hasLogical || output->mode.isEmpty() || output->logicalSize.isEmpty())
      return std::nullopt;
    // A far edge past int is no layout's; a screen there stays unpaired.
    constexpr qint64 most = std::numeric_limits<int>::max();
    if (output->position.x() + qint64(output->logicalSize.width()) > most ||
        output->position.y() + qint64(output->logicalSize.height()) > most)
      continue;
    outputs.push_back({output->name, QRect(output->position, output->logicalSize), shownSize(*output)});
  }
  return outputs;
}

std::vector<qsizetype> pair(const std::vector<QRectF> &screens, const std::vector<WaylandOutput> &outputs) {
  constexpr qreal slack = 8;
  struct Candidate {
    qreal distance;
    size_t screen, output;
  };
  // An output no scale makes of its pixels counts as taken from the start.
  std::vector<bool> taken(outputs.size(), false);
  for (size_t j = 0; j < outputs.size(); ++j)
    if (!scalable(outputs[j])) {
      qCDebug(lcPortal) << "Wayland output" << outputs[j].name << "shows" << outputs[j].pixels << "as"
                        << outputs[j].logical.size() << "logical pixels, past any scale from 1/8 to 8: not paired";
      taken[j] = true;
    }
  std::vector<Candidate> candidates;
  for (size_t i = 0; i < screens.size(); ++i)
    for (size_t j = 0; j < outputs.size(); ++j) {
      const QRect &logical = outputs[j].logical;
      const qreal narrower = logical.width() - screens[i].width(), lower = logical.height() - screens[i].height();
      if (screens[i].topLeft() == QPointF(logical.topLeft()) && narrower >= 0 && narrower <= slack && lower >= 0 &&
          lower <= slack)
        candidates.push_back({narrower + lower, i, j});
    }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate &a, const Candidate &b) { return a.distance < b.distance; });
  std::vector<qsizetype> paired(screens.size(), -1);
  for (const Candidate &c : candidates)
    if (paired[c.screen] < 0 && !taken[c.output]) {
      paired[c.screen] = qsizetype(c.output);
      taken[c.output] = true;
    }
  return paired;
}

QImage capture(const QProcessEnvironment &environment, const QString &outputName, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  const std::unique_ptr<Session> session = open(environment, deadline);
  if (!session || !session->screencopy || !session->shm)
    return {};
  Output *output = nullptr;
  for (auto &candidate : session->outputs)
    output = candidate->name == outputName ? candidate.get() : output;
  if (!output)
    return {};

  struct Frame {
    uint32_t format = 0, width = 0, height = 0, stride = 0, flags = 0;
    bool offered = false, ready = false, failed = false;
  } frame;
  static const zwlr_screencopy_frame_v1_listener listener{
      [](void *data, zwlr_screencopy_frame_v1 *, uint32_t format, uint32_t width, uint32_t height, uint32_t stride) {
        auto *f = static_cast<Frame *>(data);
        *f = {format, width, height, stride, f->flags, true, false, false};
      },
      [](void *data, zwlr_screencopy_frame_v1 *, uint32_t flags) { static_cast<Frame *>(data)->flags = flags; },
      [](void *data, zwlr_screencopy_frame_v1 *, uint32_t, uint32_t, uint32_t) {
        static_cast<Frame *>(data)->ready = true;
      },
      [](void *data, zwlr_screencopy_frame_v1 *) { static_cast<Frame *>(data)->failed = true; },
      [](void *, zwlr_screencopy_frame_v1 *, uint32_t, uint32_t, uint32_t, uint32_t) {},
      [](void *, zwlr_screencopy_frame_v1 *, uint32_t, uint32_t, uint32_t) {},
      [](void *, zwlr_screencopy_frame_v1 *) {},
  };
  zwlr_screencopy_frame_v1 *copy = zwlr_screencopy_manager_v1_capture_output(session->screencopy, 0, output->output);
  zwlr_screencopy_frame_v1_add_listener(copy, &listener, &frame);
  const auto release = qScopeGuard([copy] { zwlr_screencopy_frame_v1_destroy(copy); });
  if (!WaylandSession::dispatchUntil(
          session->display, [&frame] { return frame.offered || frame.failed; }, deadline) ||
      frame.failed)
    return {};
  // Both little-endian 32-bit formats are QImage's own.
  const bool opaque = frame.format == WL_SHM_FORMAT_XRGB8888;
  if ((!opaque && frame.format != WL_SHM_FORMAT_ARGB8888) || frame.width == 0 || frame.height == 0 ||
      frame.stride < frame.width * 4 || qint64(frame.stride) * frame.height > (qint64(1) << 31))
    return {};
  const auto bytes = size_t(frame.stride) * frame.height;
  const int fd = memfd_create("crel-still", MFD_CLOEXEC);
  if (fd < 0)
    return {};
  const auto closeFd = qScopeGuard([fd] { ::close(fd); });
  if (ftruncate(fd, off_t(bytes)) != 0)
    return {};
  void *pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (pixels == MAP_FAILED)
    return {};
  const auto unmap = qScopeGuard([pixels, bytes] { munmap(pixels, bytes); });
  wl_shm_pool *pool = wl_shm_create_pool(session->shm, fd, int32_t(bytes));
  wl_buffer *buffer = wl_shm_pool_create_buffer(pool, 0, int32_t(frame.width), int32_t(frame.height),
                                                int32_t(frame.stride), frame.format);
  const auto freeBuffer = qScopeGuard([pool, buffer] {
    wl_buffer_destroy(buffer);
    wl_shm_pool_destroy(pool);
  });
  zwlr_screencopy_frame_v1_copy(copy, buffer);
  if (!WaylandSession::dispatchUntil(
          session->display, [&frame] { return frame.ready || frame.failed; }, deadline) ||
      frame.failed)
    return {};

  QImage image = QImage(static_cast<const uchar *>(pixels), int(frame.width), int(frame.height), int(frame.stride),
                        QImage::Format_RGB32)
                     .copy();
  if (frame.flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT)
    image = image.mirrored(false, true);
  // The frame is in the output's own orientation; show it as the output does.
  static const struct {
    int degrees;
    bool flipped;
  } transforms[] = {{0, false}, {90, false}, {180, false}, {270, false},
                    {0, true},  {90, true},  {180, true},  {270, true}};
  const auto &t = transforms[std::clamp(output->transform, 0, 7)];
  if (t.flipped)
    image = image.mirrored(true, false);
  if (t.degrees != 0)
    image = image.transformed(QTransform().rotate(t.degrees));
  return image;
}

} // namespace crel::WaylandOutputs

namespace crel {

qreal WaylandOutput::scale() const {
  if (logical.isEmpty() || pixels.isEmpty())
    return 1;
  // n/120 fits an axis where |pixels x 120 / n - logical| <= 1, in whole
  // numbers. The simplest has the smallest denominator (3/2 before 181/120),
  // then the nearest.
  const auto off = [](qint64 pixels, qint64 logical, qint64 n) { return std::abs(120 * pixels - logical * n); };
  const auto fits = [&](qint64 n) {
    return off(pixels.width(), logical.width(), n) <= n && off(pixels.height(), logical.height(), n) <= n;
  };
  const auto simpler = [&](qint64 a, qint64 b) {
    const qint64 ga = std::gcd(a, qint64(120)), gb = std::gcd(b, qint64(120));
    return ga != gb ? ga > gb : off(pixels.width(), logical.width(), a) < off(pixels.width(), logical.width(), b);
  };
  // n fits an axis from 120 x pixels / (logical + 1) to 120 x pixels /
  // (logical - 1); at one logical point without end, so up to 120 x pixels
  // there (3 pixels at 1 are 3). Only where both axes fit is searched: no
  // product above leaves 64 bits, whatever the sizes.
  const auto range = [](qint64 pixels, qint64 logical) {
    return std::pair(std::max<qint64>(1, 120 * pixels / (logical + 1)),
                     logical > 1 ? 120 * pixels / (logical - 1) + 1 : 120 * pixels);
  };
  const auto [fromWidth, toWidth] = range(pixels.width(), logical.width());
  const auto [fromHeight, toHeight] = range(pixels.height(), logical.height());
  const qint64 from = std::max(fromWidth, fromHeight), to = std::min({toWidth, toHeight, from + 1200});
  qint64 best = 0;
  for (qint64 n = from; n <= to; ++n)
    if (fits(n) && (best == 0 || simpler(n, best)))
      best = n;
  return best > 0 ? qreal(best) / 120 : qreal(pixels.width()) / logical.width();
}

} // namespace crel
