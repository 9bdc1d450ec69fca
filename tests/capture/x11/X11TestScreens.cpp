#include "X11TestScreens.h"

#include "platform/X11RootGrabber.h"

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

void waitForColour(QScreen *screen, QPoint local, QRgb colour) {
  const QPoint native = screen->geometry().topLeft() + local * screen->devicePixelRatio();
  X11RootGrabber grabber;
  for (int i = 0; i < 150; ++i) {
    if (grabber.grab(QRect(native, QSize(1, 1))).pixel(0, 0) == colour)
      return;
    QTest::qWait(20);
  }
}

std::vector<std::unique_ptr<QWidget>> paintEachDisplay() {
  paintRoot(background);
  std::vector<std::unique_ptr<QWidget>> windows;
  const QList<QScreen *> screens = QGuiApplication::screens();
  for (int i = 0; i < screens.size(); ++i) {
    const QRect g = screens[i]->geometry();
    windows.push_back(colouredWindow(QRect(g.topLeft() + QPoint(100, 100), QSize(400, 300)), colours[i % 2],
                                     Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint, {}));
  }
  for (int i = 0; i < screens.size(); ++i)
    waitForColour(screens[i], QPoint(300, 250), colours[i % 2]);
  return windows;
}

} // namespace crel::test
