#include "X11SelectionFixture.h"

#include "canvas/CanvasView.h"
#include "editor/EditorController.h"
#include "editor/EditorView.h"
#include "editor/EditorWindow.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace crel;
using namespace crel::test;

namespace {

// The order in which the editor's canvas first paints and the panels go.
struct Order : QObject {
  std::vector<std::string> events;
  bool painted = false;
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == QEvent::Paint && !std::exchange(painted, true))
      events.push_back("canvas");
    return false;
  }
};

} // namespace

// Destroying a display-sized panel costs the main thread more than the
// editor's whole first frame: the shell opens the editor and tears the panels
// down only once that frame is out. Run on two 4K displays by CTest.
TEST_F(X11Selection, TheEditorPaintsItsFirstFrameBeforeAnyPanelIsDestroyed) {
  QTemporaryDir folder;
  Order order;
  std::unique_ptr<EditorController> editor;
  coordinator->setOnImage(nullptr, [&](const QImage &image, const CaptureSource &source) {
    editor = EditorController::open(image, source, folder.path());
    editor->view()->canvas()->installEventFilter(&order);
    // As the shell wires it.
    QObject::connect(editor.get(), &EditorController::firstFrameShown, coordinator.get(),
                     &CaptureCoordinator::tearDownPanels);
    editor->present();
  });
  beginAndWaitForPanels();
  for (const auto &panel : panels)
    QObject::connect(panel, &QObject::destroyed, &order, [&order] { order.events.push_back("panel"); });

  drag(QGuiApplication::screens().front(), {100, 100}, {1000, 700});
  ASSERT_TRUE(QTest::qWaitFor([&] { return editor && panelsGone(); }, 20000)) << "the panels were never destroyed";
  ASSERT_TRUE(QTest::qWaitFor([&] { return editor->document().savedURL().has_value(); }, 10000));
  EXPECT_EQ(order.events.size(), panels.size() + 1);
  EXPECT_EQ(order.events.front(), "canvas") << "a panel was destroyed before the editor's first frame";
  editor->window()->hide();
}
