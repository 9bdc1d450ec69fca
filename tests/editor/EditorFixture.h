#pragma once

#include "canvas/CanvasInputFixture.h"
#include "support/TestSupport.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditorSizePreferences.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace crel::test {

inline QImage screenshotImage(QSize size = {1280, 720}) {
  QImage image = filledImage(size, QColor(236, 239, 243));
  QPainter p(&image);
  p.fillRect(QRect(0, 0, size.width(), size.height() / 12), QColor(200, 208, 220));
  p.fillRect(QRect(size.width() / 10, size.height() / 5, size.width() / 3, size.height() / 2), QColor(90, 140, 220));
  return image;
}

// Editors over private preferences, closed and dropped at the end.
class EditorFixture : public ::testing::Test {
protected:
  TemporarySettings settings;
  AnnotationPreferences annotation{settings.store()};
  EditorSizePreferences sizes{settings.store()};

  QTemporaryDir saveFolder;

  std::unique_ptr<EditorController> makeEditor(EditorSize size = EditorSize::large) {
    sizes.setSize(size);
    return std::make_unique<EditorController>(std::make_unique<QuietDocument>(screenshotImage(), annotation), sizes);
  }

  // An editor whose document is written into saveFolder, so it closes
  // without asking.
  std::unique_ptr<EditorController> makeSavedEditor(EditorSize size = EditorSize::large) {
    auto editor = makeEditor(size);
    editor->document().enableAutosave(saveFolder.path(), "Shot");
    return editor;
  }

  // Shows and activates the window and waits until it is the active one.
  static void present(EditorController &editor) {
    editor.present();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.window()));
  }

  static QSize clientSize(const EditorController &editor) { return editor.window()->geometry().size(); }
};

} // namespace crel::test
