#include "AutosaveChecks.h"

#include "Check.h"
#include "Fixtures.h"

#include "capture/CaptureSource.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelStorage.h"
#include "document/MarkPaths.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineF>

namespace crel::NativeTests {

namespace {

const CaptureSource browser{QStringLiteral("Google Chrome"), QStringLiteral("Quarterly plan: Launch / Review")};

Mark probeArrow(double width) {
  Mark mark = NativeTests::checkMark(MarkTool::arrow, {50, 80}, {400, 250}, width);
  return mark;
}

bool savedAsShown(const CrelDocument &document) {
  return document.savedMarks() && sameMarks(*document.savedMarks(), document.marks());
}

void namingChecks() {
  expect(browser.filenameStem(QDateTime::fromSecsSinceEpoch(0, Qt::UTC))
             .startsWith(QStringLiteral("Quarterly plan Launch Review - Google Chrome - ")),
         QStringLiteral("Smart naming uses the browser tab title and app name with safe separators"));
  const QDateTime now = QDateTime::currentDateTime();
  expect(CaptureSource{QStringLiteral("Preview"), {}}.filenameStem(now).startsWith(QStringLiteral("Preview - ")),
         QStringLiteral("Missing window title falls back to the active app"));
  expect(CaptureSource{}.filenameStem(now).startsWith(QStringLiteral("Crel - ")),
         QStringLiteral("Unavailable window metadata has an honest filename fallback"));
  const QString smile = QString::fromUcs4(U"\U0001F642");
  const QString safe = CaptureSource::safeComponent(smile.repeated(150) + QStringLiteral("../\n"), 120);
  expect(safe.toUtf8().size() <= 120 && !safe.contains(u'/') && !safe.startsWith(u'.'),
         QStringLiteral("Long Unicode titles stay within filename limits without path traversal"));
}

// An editor with a change its autosave has not written yet closes without a
// dialog, and the file holds that change.
void closingChecks(const QImage &image, const QString &directory) {
  const std::unique_ptr<EditorController> editor = EditorController::open(image, browser, directory);
  EditorWindow *window = editor->window();
  if (!window)
    fail(QStringLiteral("Closing an editor flushes pending changes without a save dialog"));
  CrelDocument &document = editor->document();
  document.commit({probeArrow(document.stroke())});
  expect(editor->windowShouldClose(),
         QStringLiteral("Closing an editor flushes pending changes without a save dialog"));
  expect(savedAsShown(document) && document.savedURL(),
         QStringLiteral("Close persists the latest annotation revision"));
  window->close();
}

} // namespace

void autosaveChecks(const QImage &image, const QDir &root) {
  namingChecks();

  const QString automatic = root.filePath(QStringLiteral("automatic"));
  CrelDocument document(image, AnnotationPreferences::shared());
  document.enableAutosave(automatic, browser.filenameStem(QDateTime::currentDateTime()));
  if (!document.savedURL())
    fail(QStringLiteral("New capture is saved immediately without a save dialog"));
  const QString savedPath = *document.savedURL();
  expect(QFileInfo::exists(savedPath) && savedAsShown(document),
         QStringLiteral("New capture is saved immediately without a save dialog"));

  const QByteArray first = readFile(savedPath);
  const Mark probe = probeArrow(document.stroke());
  const QList<QPointF> barbs = arrowHeadPoints(probe);
  if (barbs.size() != 2)
    fail(QStringLiteral("The probe arrow has no arrowhead base corners"));
  expect(document.stroke() >= 8 && QLineF(probe.end, barbs[0]).length() >= 30,
         QStringLiteral("Default arrows have a bolder shaft and larger arrowhead"));

  // The write waits out the quarter-second autosave delay, and comes before
  // twice it.
  constexpr int delayMs = 250;
  QElapsedTimer sinceCommit;
  sinceCommit.start();
  document.commit({probe});
  pumpUntil([&] { return sinceCommit.elapsed() >= delayMs / 2; }, 1000, 5);
  const bool heldBack = readFile(savedPath) == first || sinceCommit.elapsed() >= delayMs;
  const bool written = pumpUntil([&] { return !document.isDirty() && readFile(savedPath) != first; },
                                 2 * delayMs - int(sinceCommit.elapsed()), 5);
  const QByteArray second = readFile(savedPath);
  expect(heldBack && written && savedAsShown(document) && second != first && document.savedURL() == savedPath,
         QStringLiteral("Annotation changes automatically update the same PNG"));
  document.undo();
  document.flushAutosave();
  expect(readFile(savedPath) == first, QStringLiteral("Undo is persisted to the saved PNG"));
  document.redo();
  document.flushAutosave();
  expect(readFile(savedPath) == second, QStringLiteral("Redo is persisted to the saved PNG"));

  const QString another = CrelStorage::availableURL(automatic, QFileInfo(savedPath).completeBaseName());
  expect(another != savedPath && QFileInfo(another).fileName().contains(QStringLiteral("(2)")),
         QStringLiteral("Captures with identical names never overwrite an existing image"));

  const QString plainFile = root.filePath(QStringLiteral("not-a-folder"));
  writeFile(plainFile, QByteArrayLiteral("fixture"));
  bool threw = false;
  try {
    document.changeAutosaveDirectory(QDir(plainFile).filePath(QStringLiteral("nested")));
  } catch (const std::exception &) {
    threw = true;
  }
  expect(threw && document.autosaveError() && document.savedURL() == savedPath,
         QStringLiteral("Save failure is visible and preserves the last saved file"));
  document.changeAutosaveDirectory(root.filePath(QStringLiteral("recovered")));
  expect(!document.autosaveError() && document.savedURL() != savedPath && savedAsShown(document),
         QStringLiteral("Choosing another folder recovers automatic saving"));
  closingChecks(image, automatic);
}

} // namespace crel::NativeTests
