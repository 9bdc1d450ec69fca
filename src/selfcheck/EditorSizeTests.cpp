#include "EditorSizeTests.h"

#include "Check.h"
#include "Fixtures.h"
#include "IsolatedSettings.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditorSizePreferences.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"

#include <QAction>
#include <QMenu>

namespace crel::NativeTests::EditorSizeTests {

namespace {

const QString sizeKey = QStringLiteral("editorWindowSize");

// The first size item of the editor's size menu whose value is `size`.
QAction &sizeItem(QMenu &menu, EditorSize size) {
  for (QAction *action : menu.actions())
    if (action->data().toString() == rawValue(size))
      return *action;
  fail(QStringLiteral("The editor size menu has no %1 item").arg(rawValue(size)));
}

} // namespace

void run(const QImage &image, const QDir &root) {
  IsolatedSettings isolated(root.path(), QStringLiteral("editor-size-tests-"));
  SettingsStore &defaults = isolated.store();

  EditorSizePreferences firstLaunch(defaults);
  expect(firstLaunch.size() == EditorSize::large,
         QStringLiteral("New captures default to the larger editor workspace"));
  firstLaunch.setSize(EditorSize::regular);
  EditorSizePreferences relaunch(defaults);
  expect(relaunch.size() == EditorSize::regular, QStringLiteral("An explicit smaller editor size survives relaunch"));

  relaunch.setSize(EditorSize::large);
  EditorController editor(std::make_unique<CrelDocument>(image, AnnotationPreferences::shared()), relaunch);
  EditorWindow *window = editor.window();
  if (!window)
    fail(QStringLiteral("Size test editor missing"));
  const HideOnExit hide(window);
  // The window has the desktop's decorations: its client area is the content.
  expect(window->width() >= 900, QStringLiteral("New editors honor the saved larger size"));

  const std::unique_ptr<QMenu> menu = editor.windowSizeMenu();
  editor.chooseWindowSize(sizeItem(*menu, EditorSize::compact));
  expect(window->size() == QSize(800, 460) && relaunch.size() == EditorSize::compact,
         QStringLiteral("Context-menu size changes the real window and saves its preference"));

  relaunch.setSize(EditorSize::regular);
  expect(window->size() == QSize(900, 600),
         QStringLiteral("Settings size changes update normal open editors through the same preference"));

  defaults.setString(sizeKey, QStringLiteral("obsolete-size"));
  EditorSizePreferences corrupted(defaults);
  expect(corrupted.size() == EditorSize::large, QStringLiteral("Unknown saved sizes recover to the larger default"));
}

} // namespace crel::NativeTests::EditorSizeTests
