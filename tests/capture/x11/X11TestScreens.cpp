#include "X11TestScreens.h"

#include "../portal/CodedDesktop.h"
#include "platform/display/X11RootGrabber.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QTest>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

namespace crel::test {

QString layout() { return qEnvironmentVariable("CREL_TESTBED_LAYOUT"); }

void paintRoot(QRgb colour) {
  xcb_connection_t *c = xcb_connect(nullptr, nullptr);
  ASSERT_FALSE(xcb_connection_has_error(c));
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  const quint32 pixel = colour & 0xffffff;
  xcb_change_window_attributes(c, screen->root, XCB_CW_BACK_PIXEL, &pixel);
  xcb_clear_area(c, 0, screen->root, 0, 0, 0, 0);
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // round trip
  xcb_disconnect(c);
}

void paintRootPattern() {
  std::vector<QRect> natives;
  for (QScreen *screen : QGuiApplication::screens())
    natives.emplace_back(screen->geometry().topLeft(), screen->geometry().size() * screen->devicePixelRatio());
  const auto colourAt = [&](int x, int y) -> QRgb {
    for (int i = 0; i < int(natives.size()); ++i)
      if (natives[size_t(i)].contains(x, y))
        return coded::colour(i, x - natives[size_t(i)].x(), y - natives[size_t(i)].y());
    return qRgb(0, 0, 0);
  };
  xcb_connection_t *c = xcb_connect(nullptr, nullptr);
  ASSERT_FALSE(xcb_connection_has_error(c));
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  ASSERT_EQ(screen->root_depth, 24);
  const int width = screen->width_in_pixels, height = screen->height_in_pixels;
  const xcb_pixmap_t pixmap = xcb_generate_id(c);
  xcb_create_pixmap(c, screen->root_depth, pixmap, screen->root, quint16(width), quint16(height));
  const xcb_gcontext_t gc = xcb_generate_id(c);
  xcb_create_gc(c, gc, pixmap, 0, nullptr);
  // In bands that fit one request.
  const int rows = std::max(1, int(xcb_get_maximum_request_length(c) * 4 / 2 / (width * 4)));
  std::vector<quint32> band(size_t(width) * size_t(rows));
  for (int top = 0; top < height; top += rows) {
    const int count = std::min(rows, height - top);
    for (int y = 0; y < count; ++y)
      for (int x = 0; x < width; ++x)
        band[size_t(y) * size_t(width) + size_t(x)] = colourAt(x, top + y) & 0xffffff;
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, quint16(width), quint16(count), 0, qint16(top), 0, 24,
                  quint32(width * count * 4), reinterpret_cast<const quint8 *>(band.data()));
  }
  xcb_change_window_attributes(c, screen->root, XCB_CW_BACK_PIXMAP, &pixmap);
  xcb_clear_area(c, 0, screen->root, 0, 0, 0, 0);
  xcb_free_gc(c, gc);
  xcb_free_pixmap(c, pixmap);
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // round trip
  xcb_disconnect(c);
  X11RootGrabber grabber;
  const QPoint last = natives.back().bottomRight();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return grabber.grab(QRect(last, QSize(1, 1))).pixel(0, 0) == colourAt(last.x(), last.y()); }, 3000));
}

std::unique_ptr<QWidget> colouredWindow(QRect logical, QRgb colour, Qt::WindowFlags flags, const QString &title) {
  auto w = std::make_unique<QWidget>(nullptr, flags);
  w->setWindowTitle(title);
  w->setAutoFillBackground(true);
  QPalette p = w->palette();
  p.setColor(QPalette::Window, QColor::fromRgb(colour));
  w->setPalette(p);
  w->setGeometry(logical);
  w->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
  return w;
}

Stills take(SnapshotProvider &provider) {
  Stills stills;
  bool done = false;
  QObject receiver;
  CaptureSnapshot::takeDisplays(provider, &receiver, [&](auto snapshots, auto error) {
    stills = {std::move(snapshots), error};
    done = true;
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 30000));
  return stills;
}

bool asUntrustedClient(const std::function<void()> &connect) {
  const QByteArray untrusted = qgetenv("CREL_TESTBED_UNTRUSTED_XAUTHORITY");
  if (untrusted.isEmpty())
    return false;
  const QByteArray trusted = qgetenv("XAUTHORITY");
  qputenv("XAUTHORITY", untrusted);
  connect();
  qputenv("XAUTHORITY", trusted);
  return true;
}

QString describe(const std::exception_ptr &error) {
  try {
    if (error)
      std::rethrow_exception(error);
  } catch (const std::exception &e) {
    return QString::fromUtf8(e.what());
  }
  return {};
}

} // namespace crel::test
