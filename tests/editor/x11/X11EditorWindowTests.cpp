// An editor window on a real X server with a window manager: it opens
// decorated and inside the screen, resizes by the size menu, maximises and
// comes back, and closes from its title bar's close button.

#include "../EditorFixture.h"

#include "editor/EditorView.h"
#include "editor/ShortcutPopover.h"

#include <QMenu>
#include <QScreen>
#include <QSignalSpy>

#include <optional>

#include <xcb/xcb.h>

using namespace crel;
using namespace crel::test;

namespace {

xcb_atom_t atom(xcb_connection_t *c, const char *name) {
  xcb_intern_atom_reply_t *reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
  const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  free(reply);
  return value;
}

// What the window manager sends when the title bar's close button is
// clicked: WM_DELETE_WINDOW through WM_PROTOCOLS, to the window itself.
void closeFromTitleBar(const QWidget &window) {
  xcb_connection_t *c = xcb_connect(nullptr, nullptr);
  ASSERT_FALSE(xcb_connection_has_error(c));
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = xcb_window_t(window.winId());
  message.type = atom(c, "WM_PROTOCOLS");
  message.data.data32[0] = atom(c, "WM_DELETE_WINDOW");
  message.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(c, 0, message.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
  // A round trip: the server has handled the request before we hang up.
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  xcb_disconnect(c);
}

using X11EditorWindow = EditorFixture;

TEST_F(X11EditorWindow, OpensResizesAndMaximisesLikeADesktopWindow) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  auto editor = makeEditor(EditorSize::large);
  EditorWindow &window = *editor->window();
  present(*editor);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QRect visible = window.screen()->availableGeometry();

  // Decorated by the window manager, the client area the large size.
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.frameGeometry().height() > window.geometry().height(); }));
  EXPECT_EQ(window.geometry().size(), QSize(1120, 780));
  EXPECT_TRUE(visible.contains(window.frameGeometry()));
  EXPECT_EQ(window.windowTitle().remove("[*]"), "Unsaved Crel");

  // The size menu resizes it, keeping its top edge.
  editor->applyWindowSize(EditorSize::large); // now with the real decorations
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.geometry().size() == QSize(1120, 780); }));
  const int top = window.frameGeometry().top();
  menuItem(*editor->windowSizeMenu(), "Compact")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.geometry().size() == QSize(800, 460); }));
  EXPECT_EQ(window.frameGeometry().top(), top);
  EXPECT_EQ(editor->view()->size(), QSize(800, 460));

  // Maximised: it fills the screen's work area, and sizes are not offered.
  window.showMaximized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.isMaximized() && window.geometry().width() > 1500; }));
  EXPECT_EQ(editor->view()->size(), window.geometry().size());
  auto menu = editor->windowSizeMenu();
  EXPECT_FALSE(menuItem(*menu, "Large")->isEnabled());
  EXPECT_TRUE(menuItem(*menu, "Restore the window to change its size"));
  window.showNormal();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isMaximized() && window.geometry().size() == QSize(800, 460); }));
}

// The window manager adds the title bar only after the window is shown; the
// frame, not only the client area, must fit the screen's work area, also on
// a screen smaller than the large size (CTest runs this on 1366x768 too).
TEST_F(X11EditorWindow, OpensAndResizesInsideTheWorkAreaFrameIncluded) {
  auto editor = makeEditor(EditorSize::large);
  EditorWindow &window = *editor->window();
  present(*editor);
  const QRect visible = window.screen()->availableGeometry();
  const auto inside = [&] {
    return window.frameGeometry().height() > window.geometry().height() && visible.contains(window.frameGeometry());
  };
  const auto describe = [&] {
    const QRect f = window.frameGeometry();
    return QString("frame %1,%2 %3x%4 in %5x%6")
        .arg(f.x())
        .arg(f.y())
        .arg(f.width())
        .arg(f.height())
        .arg(visible.width())
        .arg(visible.height())
        .toStdString();
  };
  EXPECT_TRUE(QTest::qWaitFor(inside)) << "opening: " << describe();
  for (const char *size : {"Compact", "Large", "Regular"}) {
    menuItem(*editor->windowSizeMenu(), size)->trigger();
    EXPECT_TRUE(QTest::qWaitFor(inside)) << size << ": " << describe();
  }
}

TEST_F(X11EditorWindow, ClosesFromItsTitleBarsCloseButton) {
  auto editor = makeSavedEditor(EditorSize::compact);
  EditorWindow &window = *editor->window();
  present(*editor);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QSignalSpy closed(editor.get(), &EditorController::closed);
  closeFromTitleBar(window);
  ASSERT_TRUE(QTest::qWaitFor([&] { return closed.size() == 1; }));
  EXPECT_FALSE(window.isVisible());
}

// Another client playing a compositing manager: it owns the screen's
// _NET_WM_CM_Sn selection until it disconnects.
class CompositorStandIn {
public:
  CompositorStandIn() : c_(xcb_connect(nullptr, &screen_)) {
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c_));
    for (int i = 0; i < screen_; ++i)
      xcb_screen_next(&screens);
    const xcb_window_t window = xcb_generate_id(c_);
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, window, screens.data->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen_);
    xcb_set_selection_owner(c_, window, atom(c_, name.constData()), XCB_CURRENT_TIME);
    free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
  }
  ~CompositorStandIn() { xcb_disconnect(c_); }
  CompositorStandIn(const CompositorStandIn &) = delete;
  CompositorStandIn &operator=(const CompositorStandIn &) = delete;

private:
  int screen_ = 0;
  xcb_connection_t *c_;
};

// Clear window parts show black unless a compositing manager runs: only then
// is the shortcuts popover cut to its bubble, so its corners and the sides of
// its arrow show what lies beneath.
TEST(X11ShortcutPopover, IsCutToItsBubbleOnlyWithoutACompositor) {
  QWidget bar;
  bar.setGeometry(300, 100, 600, 560);
  auto *button = new QWidget(&bar);
  button->setGeometry(280, 515, 30, 30);
  bar.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
  for (const bool compositor : {false, true}) {
    std::optional<CompositorStandIn> standIn;
    if (compositor)
      standIn.emplace();
    ShortcutPopover popover;
    popover.popUp(button);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&popover));
    const QRegion mask = popover.mask();
    if (compositor) {
      EXPECT_TRUE(mask.isEmpty());
    } else {
      const QRect r = popover.rect();
      EXPECT_TRUE(mask.contains(r.center()));
      EXPECT_TRUE(mask.contains(QPoint(r.center().x(), r.bottom() - 2))) << "the arrow's tip";
      for (const QPoint clear : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()})
        EXPECT_FALSE(mask.contains(clear)) << clear.x() << "," << clear.y();
    }
    popover.hide();
  }
}

} // namespace
