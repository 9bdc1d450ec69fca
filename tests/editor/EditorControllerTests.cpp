#include "EditorFixture.h"

#include "canvas/CanvasView.h"
#include "capture/CaptureSource.h"
#include "document/MarkSamples.h"
#include "editor/DragHandle.h"
#include "editor/EditorView.h"

#include <QFileInfo>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <optional>

using namespace crel;
using namespace crel::test;

namespace {

QString title(const QWidget &window) { return window.windowTitle().remove(QStringLiteral("[*]")); }

struct MenuItem {
  QString text;
  bool enabled, checked;
  friend bool operator==(const MenuItem &, const MenuItem &) = default;
  friend std::ostream &operator<<(std::ostream &os, const MenuItem &i) {
    return os << i.text.toStdString() << (i.enabled ? " enabled" : " disabled") << (i.checked ? " checked" : "");
  }
};

std::vector<MenuItem> items(QMenu &menu) {
  std::vector<MenuItem> result;
  for (const QAction *a : menu.actions())
    result.push_back({a->text(), a->isEnabled(), a->isChecked()});
  return result;
}

// Runs on every screen configuration of the suite (1920x1080 with and without
// frame margins, and 1024x700).
using EditorWindowSize = EditorFixture;
using EditorControllerTest = EditorFixture;

TEST_F(EditorWindowSize, ClientAreaTakesEachSizeAndTheFrameStaysOnTheScreen) {
  const QRect visible = QGuiApplication::primaryScreen()->availableGeometry();
  const bool small = visible.size() == QSize(1024, 700);
  for (EditorSize size : allCases<EditorSize>()) {
    SCOPED_TRACE(rawValue(size).toStdString());
    auto editor = makeEditor(size);
    present(*editor);
    const QRect frame = editor->window()->frameGeometry();
    EXPECT_TRUE(visible.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                         << frame.height();
    if (small && size == EditorSize::large) {
      EXPECT_EQ(frame, visible); // larger than the screen both ways: it fills it
    } else {
      EXPECT_EQ(clientSize(*editor), contentSize(size));
      EXPECT_LE(std::abs(frame.center().x() - visible.center().x()), 1); // centred
    }
  }
}

TEST_F(EditorWindowSize, ChoosingASizeInOneEditorResizesEveryNormalEditorKeepingCentreAndTop) {
  auto first = makeEditor(EditorSize::regular), second = makeEditor(EditorSize::regular);
  present(*first);
  present(*second);
  second->window()->move(second->window()->pos() + QPoint(-40, 30));
  const QRect before = second->window()->frameGeometry();
  auto menu = first->windowSizeMenu();
  QAction *compact = menuItem(*menu, "Compact");
  ASSERT_TRUE(compact);
  compact->trigger();
  EXPECT_EQ(sizes.size(), EditorSize::compact);
  EXPECT_EQ(clientSize(*first), QSize(800, 460));
  EXPECT_EQ(clientSize(*second), QSize(800, 460));
  const QRect after = second->window()->frameGeometry();
  EXPECT_EQ(after.top(), before.top());
  EXPECT_LE(std::abs(after.center().x() - before.center().x()), 1);
}

TEST_F(EditorControllerTest, MaximisedAndFullScreenWindowsOfferNoSizes) {
  auto editor = makeEditor(EditorSize::regular), other = makeEditor(EditorSize::regular);
  present(*editor);
  present(*other);
  const std::vector<MenuItem> normal{
      {"Editor size", false, false}, {"Compact", true, false}, {"Regular", true, true}, {"Large", true, false}};
  EXPECT_EQ(items(*editor->windowSizeMenu()), normal);

  const std::vector<MenuItem> restricted{{"Editor size", false, false},
                                         {"Compact", false, false},
                                         {"Regular", false, true},
                                         {"Large", false, false},
                                         {"Restore the window to change its size", false, false}};
  for (const Qt::WindowState state : {Qt::WindowMaximized, Qt::WindowFullScreen}) {
    editor->window()->setWindowState(state);
    QCoreApplication::processEvents();
    const QSize stateSize = clientSize(*editor);
    auto menu = editor->windowSizeMenu();
    EXPECT_EQ(items(*menu), restricted);
    // Neither its own menu nor another editor's choice resizes it.
    menuItem(*menu, "Large")->trigger();
    EXPECT_EQ(sizes.size(), EditorSize::regular);
    menuItem(*other->windowSizeMenu(), "Compact")->trigger();
    EXPECT_EQ(clientSize(*editor), stateSize);
    EXPECT_EQ(clientSize(*other), QSize(800, 460));
    sizes.setSize(EditorSize::regular);
    editor->window()->setWindowState(Qt::WindowNoState);
    QCoreApplication::processEvents();
  }
}

TEST_F(EditorControllerTest, AMinimisedEditorComesBackAsItWasWhenPresented) {
  auto editor = makeEditor(EditorSize::regular);
  editor->window()->setWindowState(Qt::WindowMaximized);
  present(*editor);
  editor->window()->setWindowState(editor->window()->windowState() | Qt::WindowMinimized);
  editor->present();
  EXPECT_EQ(editor->window()->windowState(), Qt::WindowMaximized);
  EXPECT_TRUE(editor->window()->isVisible());
  EXPECT_EQ(QApplication::activeWindow(), editor->window());
}

TEST_F(EditorControllerTest, TitleFilePathAndModifiedMarkFollowTheSavedFile) {
  QTemporaryDir folder;
  auto editor = makeEditor();
  EditorWindow &window = *editor->window();
  CrelDocument &document = editor->document();
  EXPECT_EQ(title(window), "Unsaved Crel");
  EXPECT_TRUE(window.isWindowModified());
  EXPECT_EQ(window.windowFilePath(), "");

  document.enableAutosave(folder.path(), "Shot");
  const QString path = folder.filePath("Shot.png");
  ASSERT_EQ(document.savedURL(), path);
  QCoreApplication::processEvents();
  EXPECT_EQ(title(window), "Shot.png");
  EXPECT_FALSE(window.isWindowModified());
  EXPECT_EQ(window.windowFilePath(), path);

  // An edit marks it until the next write.
  document.commit({makeMark(MarkTool::arrow)});
  QCoreApplication::processEvents();
  EXPECT_TRUE(window.isWindowModified());
  document.flushAutosave();
  QCoreApplication::processEvents();
  EXPECT_FALSE(window.isWindowModified());
  EXPECT_EQ(title(window), "Shot.png");
}

// Notes whether a widget has painted.
struct PaintSeen : QObject {
  bool painted = false;
  bool eventFilter(QObject *, QEvent *event) override {
    painted = painted || event->type() == QEvent::Paint;
    return false;
  }
};

// A new capture is on screen before it is written, and written right after:
// into the folder, or, where that fails, it stays open unsaved with the reason.
TEST_F(EditorControllerTest, ANewCaptureIsWrittenAfterItsFirstFrame) {
  AnnotationPreferences::overrideShared(&annotation);
  EditorSizePreferences::overrideShared(&sizes);
  QTemporaryDir folder;
  const struct {
    const char *name;
    QString directory;
    bool written;
  } cases[] = {{"writable", folder.path(), true}, {"unwritable", unwritableFolder(folder), false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    auto editor = EditorController::open(screenshotImage(), CaptureSource{"Browser", "Docs"}, c.directory);
    CrelDocument &document = editor->document();
    PaintSeen canvas;
    editor->view()->canvas()->installEventFilter(&canvas);
    std::optional<bool> paintedFirst;
    const auto saveEnded = [&] {
      if (!paintedFirst)
        paintedFirst = canvas.painted;
    };
    QObject::connect(&document, &CrelDocument::savedURLChanged, saveEnded);
    QObject::connect(&document, &CrelDocument::autosaveErrorChanged, saveEnded);
    editor->present();
    ASSERT_TRUE(QTest::qWaitFor([&] { return paintedFirst.has_value(); }));
    EXPECT_TRUE(*paintedFirst);
    QCoreApplication::processEvents();
    EXPECT_EQ(document.savedURL().has_value(), c.written);
    EXPECT_EQ(document.autosaveError().has_value(), !c.written);
    EXPECT_EQ(editor->window()->isWindowModified(), !c.written);
    if (c.written) {
      EXPECT_EQ(QImage(*document.savedURL()).size(), QSize(1280, 720));
      EXPECT_EQ(title(*editor->window()), QFileInfo(*document.savedURL()).fileName());
    } else {
      EXPECT_EQ(title(*editor->window()), "Unsaved Crel");
    }
    editor->window()->hide();
  }
  AnnotationPreferences::overrideShared(nullptr);
  EditorSizePreferences::overrideShared(nullptr);
}

// The drag handle's thumbnail (pyramid levels, a smooth scale) is not made
// inside a new capture's first frame, but right after it.
TEST_F(EditorControllerTest, ANewCapturesDragThumbnailComesRightAfterItsFirstFrame) {
  AnnotationPreferences::overrideShared(&annotation);
  EditorSizePreferences::overrideShared(&sizes);
  QTemporaryDir folder;
  auto editor =
      EditorController::open(filledImage({1600, 1000}, Qt::red, QImage::Format_RGB32), CaptureSource{}, folder.path());
  auto *handle = editor->window()->findChild<DragHandle *>();
  ASSERT_TRUE(handle);
  const auto showsTheCapture = [&] {
    const QImage shown = handle->grab().toImage();
    return shown.pixelColor(shown.width() / 2, shown.height() / 2).red() > 200;
  };
  EXPECT_FALSE(showsTheCapture());
  QSignalSpy framed(editor.get(), &EditorController::firstFrameShown);
  editor->present();
  ASSERT_TRUE(framed.wait());
  EXPECT_TRUE(showsTheCapture());
  editor->window()->hide();
  AnnotationPreferences::overrideShared(nullptr);
  EditorSizePreferences::overrideShared(nullptr);
}

TEST_F(EditorControllerTest, AnOwnerMayDropTheControllerWhenItHearsOfTheClose) {
  auto editor = makeSavedEditor();
  present(*editor);
  QPointer<EditorWindow> window = editor->window();
  QObject::connect(editor.get(), &EditorController::closed,
                   [&](EditorController *) { editor.release()->deleteLater(); });
  window->close();
  EXPECT_FALSE(editor);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window; }));
}

} // namespace
