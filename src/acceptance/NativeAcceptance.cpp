#include "NativeAcceptance.h"

#include "AcceptanceLookups.h"
#include "AcceptanceRun.h"
#include "platform/files/SettingsStore.h"
#include "selfcheck/CheckReporter.h"
#include "selfcheck/Failure.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QWidget>

#include <cstdio>

namespace crel::NativeAcceptance {

namespace {

// What the display and the accessible tree held when the run failed, taken
// before the clean-up changes either.
void leaveEvidence() {
  const QString folder = qEnvironmentVariable("CREL_ACCEPTANCE_OUTPUT");
  if (folder.isEmpty() || !QDir().mkpath(folder))
    return;
  const QDir out(folder);
  if (FILE *tree = std::fopen(QFile::encodeName(out.filePath(QStringLiteral("accessibility.txt"))).constData(), "w")) {
    for (QWidget *window : QApplication::topLevelWidgets()) {
      if (!window->isVisible())
        continue;
      std::fprintf(tree, "window %s \"%s\"\n", window->metaObject()->className(), qPrintable(window->windowTitle()));
      acceptance::describeAccessibility(QAccessible::queryAccessibleInterface(window), 0, tree);
    }
    std::fclose(tree);
  }
  const QList<QScreen *> screens = QGuiApplication::screens();
  for (qsizetype i = 0; i < screens.size(); ++i)
    screens[i]->grabWindow(0).save(out.filePath(QStringLiteral("screen-%1.png").arg(i)));
}

} // namespace

void run(AppDelegate &delegate, const QString &fixtureDir) {
  QAccessible::setActive(true);
  acceptance::RunState state(delegate, fixtureDir);
  // Runs last: a failed run ends the process at once, so the preferences
  // the clean-up put back must reach the disk before that.
  state.cleanup.push([] { SettingsStore::standard().sync(); });
  try {
    acceptance::captureRoad(state);
    acceptance::editorChrome(state);
    acceptance::drawingEditingSaving(state);
    acceptance::copyAndClose(state);
  } catch (const NativeTests::Failure &failure) {
    leaveEvidence();
    throw NativeTests::Failure(acceptance::linuxWording(failure.description()));
  } catch (...) {
    leaveEvidence();
    throw;
  }
  NativeTests::CheckReporter::line(QStringLiteral("ALL NATIVE CAPTURE ACCEPTANCE CHECKS PASSED"));
}

} // namespace crel::NativeAcceptance
