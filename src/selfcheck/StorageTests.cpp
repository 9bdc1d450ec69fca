#include "StorageTests.h"

#include "Check.h"
#include "Fixtures.h"

#include "app/AppDelegate.h"
#include "app/ImageOpening.h"
#include "capture/CaptureSource.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelStorage.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"

#include <QFileDialog>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace crel::NativeTests::StorageTests {

namespace {

QString standardized(const QString &path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

bool startsIn(const QFileDialog &panel, const QString &folder) {
  return standardized(panel.directory().absolutePath()) == standardized(folder);
}

void panelChecks(const QDir &root, const QString &savedImages) {
  const std::unique_ptr<QFileDialog> first = AppDelegate::makeImageOpenPanel(savedImages);
  expect(QFileInfo(savedImages).isDir(),
         QStringLiteral("Open Image creates its saved-images folder before the first capture"));
  expect(startsIn(*first, savedImages), QStringLiteral("Open Image starts in the saved-images folder"));
  expect(first->fileMode() == QFileDialog::ExistingFile,
         QStringLiteral("Open Image selects a single image, not a folder"));

  const QString elsewhere = root.filePath(QStringLiteral("elsewhere"));
  CrelStorage::prepareDirectory(elsewhere);
  first->setDirectory(elsewhere);
  const std::unique_ptr<QFileDialog> second = AppDelegate::makeImageOpenPanel(savedImages);
  expect(startsIn(*second, savedImages),
         QStringLiteral("Browsing another folder does not change where the next Open Image starts"));
}

void importChecks(const QImage &image, const QDir &root, const QString &savedImages) {
  const QString original = root.filePath(QStringLiteral("elsewhere/import.png"));
  CrelDocument(image, AnnotationPreferences::shared()).save(original);
  const QByteArray importBytes = readFile(original);
  const std::unique_ptr<EditorController> editor = EditorController::open(
      ImageOpening::readImage(original), CaptureSource{{}, QStringLiteral("import")}, savedImages);
  const HideOnExit hide(editor->window());
  CrelDocument &document = editor->document();
  // Written once the window could show it.
  pumpUntil([&] { return document.savedURL() || document.autosaveError(); }, 5000, 10);
  if (!document.savedURL())
    fail(QStringLiteral("Imported image did not autosave"));
  const QString workingCopy = *document.savedURL();
  expect(standardized(QFileInfo(workingCopy).absolutePath()) == standardized(savedImages),
         QStringLiteral("An imported image saves a working copy in the same folder as captures"));

  document.commit({checkMark(MarkTool::arrow, {40, 40}, {300, 200}, 6)});
  document.flushAutosave();
  const QByteArray edited = readFile(workingCopy);
  expect(readFile(original) == importBytes && edited != importBytes,
         QStringLiteral("Editing an import updates the saved copy and leaves the original file untouched"));

  std::error_code error;
  std::filesystem::remove_all(savedImages.toStdString(), error);
  if (error)
    fail(QStringLiteral("The saved-images folder could not be removed: %1")
             .arg(QString::fromStdString(error.message())));
  document.flushAutosave();
  expect(document.savedURL() == workingCopy && QFileInfo::exists(workingCopy) && readFile(workingCopy) == edited &&
             !document.autosaveError(),
         QStringLiteral("Autosave restores a removed images folder at the same path without losing edits"));
}

} // namespace

void run(const QImage &image, const QDir &root) {
  const QString savedImages = root.filePath(QStringLiteral("saved-images"));
  panelChecks(root, savedImages);
  importChecks(image, root, savedImages);

  const QString blocked = root.filePath(QStringLiteral("blocked-images"));
  const QByteArray existing = QByteArrayLiteral("existing file");
  writeFile(blocked, existing);
  bool threw = false;
  try {
    AppDelegate::makeImageOpenPanel(blocked);
  } catch (const std::exception &) {
    threw = true;
  }
  expect(threw && readFile(blocked) == existing,
         QStringLiteral("An unavailable images folder reports an error instead of opening somewhere unrelated"));
}

} // namespace crel::NativeTests::StorageTests
