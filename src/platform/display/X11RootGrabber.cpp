#include "X11RootGrabber.h"

#include "SnapshotError.h"

#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <atomic>
#include <cstdlib>
#include <memory>

namespace crel {

namespace {

constexpr int badAccess = 10;

template <typename T> struct FreeDeleter {
  void operator()(T *p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

void freeReply(void *reply) { std::free(reply); }

[[noreturn]] void throwFor(xcb_generic_error_t *error) {
  const int code = error ? error->error_code : 0;
  std::free(error);
  throw X11RootGrabber::errorForCode(code);
}

// Opaque 32-bit pixels: X leaves the pad byte undefined (usually 0), while
// Format_RGB32 promises 0xff there.
void makeOpaque(uchar *data, int width, int height, int bytesPerLine) {
  for (int y = 0; y < height; ++y) {
    auto *row = reinterpret_cast<quint32 *>(data + qsizetype(y) * bytesPerLine);
    for (int x = 0; x < width; ++x)
      row[x] |= 0xff000000u;
  }
}

} // namespace

struct X11RootGrabber::Segment {
  void *address = nullptr;
  size_t size = 0;
  xcb_shm_seg_t id = 0;
  std::atomic<int> views{0}; // images still looking into it
  ~Segment() { shmdt(address); }
};

void X11RootGrabber::releaseView(void *info) {
  auto *segment = static_cast<std::shared_ptr<Segment> *>(info);
  (*segment)->views.fetch_sub(1, std::memory_order_release);
  delete segment;
}

SnapshotError X11RootGrabber::errorForCode(int code) {
  return code == badAccess ? SnapshotError::readRefused() : SnapshotError::failed();
}

X11RootGrabber::X11RootGrabber(QByteArray displayName) : displayName_(std::move(displayName)) {}

X11RootGrabber::~X11RootGrabber() { disconnect(); }

void X11RootGrabber::dropSegment() {
  // Images still using it keep our mapping alive; only the server lets go.
  if (segment_ && connection_ && !xcb_connection_has_error(connection_)) {
    xcb_shm_detach(connection_, segment_->id);
    xcb_flush(connection_);
  }
  segment_.reset();
}

void X11RootGrabber::releaseIdleMemory() { dropSegment(); }

void X11RootGrabber::disconnect() {
  dropSegment();
  if (connection_)
    xcb_disconnect(connection_);
  connection_ = nullptr;
  screen_ = nullptr;
}

void X11RootGrabber::connectIfNeeded() {
  if (connection_ && !xcb_connection_has_error(connection_))
    return;
  disconnect();
  int screenNumber = 0;
  connection_ = xcb_connect(displayName_.isEmpty() ? nullptr : displayName_.constData(), &screenNumber);
  if (!connection_ || xcb_connection_has_error(connection_)) {
    disconnect();
    throw SnapshotError::noDisplay();
  }
  const xcb_setup_t *setup = xcb_get_setup(connection_);
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
  for (int i = 0; i < screenNumber && it.rem; ++i)
    xcb_screen_next(&it);
  if (!it.rem) {
    disconnect();
    throw SnapshotError::noDisplay();
  }
  screen_ = it.data;

  bitsPerPixel_ = 0;
  for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
    if (f.data->depth == screen_->root_depth)
      bitsPerPixel_ = f.data->bits_per_pixel;

  quint32 red = 0, green = 0, blue = 0;
  for (auto d = xcb_screen_allowed_depths_iterator(screen_); d.rem; xcb_depth_next(&d))
    for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
      if (v.data->visual_id == screen_->root_visual) {
        red = v.data->red_mask;
        green = v.data->green_mask;
        blue = v.data->blue_mask;
      }

  const bool hostLittleEndian = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
  const bool nativeOrder = (setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST) == hostLittleEndian;
  format_ = QImage::Format_Invalid;
  if (nativeOrder && bitsPerPixel_ == 32 && red == 0xff0000 && green == 0xff00 && blue == 0xff)
    format_ = QImage::Format_RGB32;
  else if (nativeOrder && bitsPerPixel_ == 32 && red == 0x3ff00000 && green == 0xffc00 && blue == 0x3ff)
    format_ = QImage::Format_RGB30;
  else if (nativeOrder && bitsPerPixel_ == 16 && red == 0xf800 && green == 0x7e0 && blue == 0x1f)
    format_ = QImage::Format_RGB16;
  shmWorks_ = xcb_get_extension_data(connection_, &xcb_shm_id)->present;
}

QRect X11RootGrabber::rootRect() {
  connectIfNeeded();
  return {0, 0, screen_->width_in_pixels, screen_->height_in_pixels};
}

std::vector<X11RootGrabber::Monitor> X11RootGrabber::monitors() {
  connectIfNeeded();
  if (!xcb_get_extension_data(connection_, &xcb_randr_id)->present)
    return {};
  XcbReply<xcb_randr_query_version_reply_t> version(
      xcb_randr_query_version_reply(connection_, xcb_randr_query_version(connection_, 1, 5), nullptr));
  if (!version || (version->major_version == 1 && version->minor_version < 5))
    return {};
  xcb_generic_error_t *error = nullptr;
  XcbReply<xcb_randr_get_monitors_reply_t> reply(
      xcb_randr_get_monitors_reply(connection_, xcb_randr_get_monitors(connection_, screen_->root, 1), &error));
  if (!reply)
    throwFor(error);

  std::vector<Monitor> result;
  std::vector<xcb_get_atom_name_cookie_t> names;
  for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem; xcb_randr_monitor_info_next(&it)) {
    result.push_back({{}, QRect(it.data->x, it.data->y, it.data->width, it.data->height)});
    names.push_back(xcb_get_atom_name(connection_, it.data->name));
  }
  for (size_t i = 0; i < names.size(); ++i) {
    XcbReply<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(connection_, names[i], nullptr));
    if (name)
      result[i].name = QString::fromUtf8(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get()));
  }
  return result;
}

QImage X11RootGrabber::grab(const QRect &area) {
  connectIfNeeded();
  if (area.isEmpty() || !rootRect().contains(area))
    throw SnapshotError::displayChanged();
  if (format_ == QImage::Format_Invalid)
    throw SnapshotError::failed();
  QImage image;
  lastUsedShm_ = false;
  if (shmAllowed_ && shmWorks_)
    image = grabShared(area);
  if (image.isNull())
    image = grabPlain(area);
  if (format_ != QImage::Format_RGB32)
    image = image.convertToFormat(QImage::Format_RGB32);
  return image;
}

QImage X11RootGrabber::wrap(uchar *data, const QRect &area, int bytesPerLine, void (*cleanup)(void *), void *info) {
  if (format_ == QImage::Format_RGB32)
    makeOpaque(data, area.width(), area.height(), bytesPerLine);
  return QImage(static_cast<const uchar *>(data), area.width(), area.height(), bytesPerLine, format_, cleanup, info);
}

QImage X11RootGrabber::grabShared(const QRect &area) {
  const int bytesPerLine = ((area.width() * bitsPerPixel_ + 31) / 32) * 4;
  const size_t size = size_t(bytesPerLine) * size_t(area.height());
  if (segment_ && (segment_->views.load(std::memory_order_acquire) != 0 || segment_->size < size))
    dropSegment();
  if (!segment_) {
    const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0) {
      shmWorks_ = false;
      return {};
    }
    void *address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void *>(-1)) {
      shmctl(id, IPC_RMID, nullptr);
      shmWorks_ = false;
      return {};
    }
    auto segment = std::make_shared<Segment>();
    segment->address = address;
    segment->size = size;
    segment->id = xcb_generate_id(connection_);
    xcb_generic_error_t *attachError =
        xcb_request_check(connection_, xcb_shm_attach_checked(connection_, segment->id, quint32(id), 0));
    // Marked for removal at once so a crash cannot leak it; it lives until
    // the last detach.
    shmctl(id, IPC_RMID, nullptr);
    if (attachError) {
      // A server on another host, or in another IPC namespace: use the wire.
      std::free(attachError);
      shmWorks_ = false;
      return {};
    }
    segment_ = std::move(segment);
  }
  xcb_generic_error_t *error = nullptr;
  XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
      connection_,
      xcb_shm_get_image(connection_, screen_->root, qint16(area.x()), qint16(area.y()), quint16(area.width()),
                        quint16(area.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_->id, 0),
      &error));
  if (!reply) {
    // The plain read tells a refusal from other failures.
    std::free(error);
    dropSegment();
    return {};
  }
  lastUsedShm_ = true;
  segment_->views.fetch_add(1, std::memory_order_relaxed);
  return wrap(static_cast<uchar *>(segment_->address), area, bytesPerLine, releaseView,
              new std::shared_ptr<Segment>(segment_));
}

QImage X11RootGrabber::grabPlain(const QRect &area) {
  xcb_generic_error_t *error = nullptr;
  xcb_get_image_reply_t *reply =
      xcb_get_image_reply(connection_,
                          xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, screen_->root, qint16(area.x()),
                                        qint16(area.y()), quint16(area.width()), quint16(area.height()), ~0u),
                          &error);
  if (!reply) {
    if (!error || xcb_connection_has_error(connection_)) {
      std::free(error);
      disconnect();
      throw SnapshotError::failed();
    }
    throwFor(error);
  }
  const int length = xcb_get_image_data_length(reply);
  const int bytesPerLine = area.height() > 0 ? length / area.height() : 0;
  if (bytesPerLine * 8 < area.width() * bitsPerPixel_) {
    std::free(reply);
    throw SnapshotError::failed();
  }
  return wrap(xcb_get_image_data(reply), area, bytesPerLine, freeReply, reply);
}

} // namespace crel
