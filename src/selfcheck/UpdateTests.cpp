#include "UpdateTests.h"

#include "Check.h"
#include "Fixtures.h"

#include "app/ShellRules.h"
#include "app/UpdateSessionStore.h"
#include "capture/CaptureSource.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditState.h"
#include "document/EditorSizePreferences.h"
#include "document/MarkGeometry.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"
#include "platform/desktop/FakeShellWindow.h"
#include "platform/files/ResourceLocator.h"
#include "update/UpdateController.h"
#include "update/UpdateSession.h"
#include "update/framework/Updater.h"
#include "update/framework/VersionComparator.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonObject>

#include <filesystem>

namespace crel::UpdateTests {

using NativeTests::expect;
using NativeTests::fail;

namespace {

Mark probeMark() {
  Mark mark = NativeTests::checkMark(MarkTool::arrow, {20, 30}, {200, 100}, 6);
  mark.ink = NativeTests::paletteInk(1);
  return mark;
}

void sessionChecks(const QImage &image, const QDir &root) {
  const Mark probe = probeMark();
  const Mark movedProbe = moved(probe, 10, 20);
  // The session is saved the way the shell saves it: from the open editors,
  // each with its window's place.
  std::vector<std::unique_ptr<EditorController>> editors;
  editors.push_back(std::make_unique<EditorController>(
      std::make_unique<CrelDocument>(image, AnnotationPreferences::shared()), EditorSizePreferences::shared()));
  CrelDocument &document = editors.front()->document();
  const QRect place(140, 90, 900, 640);
  if (EditorWindow *window = editors.front()->window())
    window->setGeometry(place);
  document.enableAutosave(root.path(), CaptureSource{}.filenameStem(QDateTime::currentDateTime()));
  document.flushAutosave();
  document.commit({probe});
  document.commit({movedProbe});
  document.undo();
  document.setSelection(probe.id);

  const QString file = root.filePath(QStringLiteral("session.json"));
  UpdateSessionStore(file).save(editors);
  const QByteArray expected = document.renderPNG();
  UpdateSession::ReadResult read = UpdateSession::read(file, AnnotationPreferences::shared());
  if (read.failure)
    std::rethrow_exception(read.failure);

  expect(read.entries.size() == 1 && sameMarks(read.entries[0].document->marks(), document.marks()) &&
             read.entries[0].frame == place,
         QStringLiteral("Update restores editable annotation models"));
  CrelDocument &restored = *read.entries[0].document;
  expect(restored.renderPNG() == expected && restored.pixelSize() == document.pixelSize(),
         QStringLiteral("Update preserves the original pixels and exported image"));
  expect(restored.savedURL() == document.savedURL() && restored.savedMarks() &&
             sameMarks(*restored.savedMarks(), document.marks()) && restored.selection() == probe.id,
         QStringLiteral("Update restores the original save destination and selection"));
  restored.redo();
  expect(sameMarks(restored.marks(), {movedProbe}), QStringLiteral("Redo history survives an update"));
  restored.undo();
  restored.undo();
  expect(restored.marks().isEmpty(), QStringLiteral("Undo history survives an update"));

  const QByteArray before = NativeTests::readFile(file);
  std::vector<std::unique_ptr<EditorController>> neverSaved;
  neverSaved.push_back(std::make_unique<EditorController>(
      std::make_unique<CrelDocument>(image, AnnotationPreferences::shared()), EditorSizePreferences::shared()));
  bool threw = false;
  try {
    UpdateSessionStore(file).save(neverSaved);
  } catch (const std::exception &) {
    threw = true;
  }
  expect(threw && NativeTests::readFile(file) == before,
         QStringLiteral("A failed update checkpoint preserves the previous recovery file"));

  using std::filesystem::perms;
  const perms mode = std::filesystem::status(file.toStdString()).permissions() & perms::all;
  expect(mode == (perms::owner_read | perms::owner_write),
         QStringLiteral("Update recovery images are private to the Linux user"));
  UpdateSession::clear(file);
  expect(!QFileInfo::exists(file), QStringLiteral("Successful recovery can remove its temporary image data"));
}

bool isTrue(const QJsonObject &info, const char *key) {
  const QJsonValue value = info.value(QLatin1String(key));
  return value.isBool() && value.toBool();
}

void bundleChecks() {
  const QJsonObject info = ResourceLocator::infoDictionary();
  if (info.isEmpty())
    fail(QStringLiteral("The application folder's Info.json could not be read"));
  expect(isTrue(info, "SURequireSignedFeed") && isTrue(info, "SUVerifyUpdateBeforeExtraction"),
         QStringLiteral("Update feed and archives require signatures before extraction"));
  const QJsonValue interval = info.value(QLatin1String("SUScheduledCheckInterval"));
  expect(interval.isDouble() && interval.toDouble() == 3600 && isTrue(info, "SUEnableAutomaticChecks"),
         QStringLiteral("Hourly update checks are enabled without requiring another app launch"));
  const QJsonValue profiling = info.value(QLatin1String("SUEnableSystemProfiling"));
  expect(profiling.isBool() && !profiling.toBool(), QStringLiteral("Update checks do not enable system profiling"));
  expect(update::VersionComparator::standard().compare(u"10", u"9") == std::strong_ordering::greater,
         QStringLiteral("Release build numbers compare numerically"));
}

void quietInstallChecks() {
  // Declared first: the controller's closures refer to them until it goes.
  bool idle = false;
  int installs = 0;
  // The self-test never reaches a feed: the real updater (and its network
  // access) must not even be built, so asking for it ends the run.
  UpdateController controller(
      [](update::UpdaterDelegate *, update::UserDriverDelegate *) -> std::unique_ptr<update::Updater> {
        fail(QStringLiteral("The self-test asked for the real updater"));
      });
  controller.isIdle = [&idle] { return idle; };

  const bool accepted = controller.willInstallUpdateOnQuit(update::AppcastItem::empty(), [&installs] { ++installs; });
  expect(accepted && controller.readyToInstall() && controller.canInstallNow() && !controller.installing(),
         QStringLiteral("The app takes responsibility for installing a downloaded update"));

  const QDateTime t0 = QDateTime::currentDateTimeUtc();
  controller.installIfIdle(t0);
  controller.installIfIdle(t0.addSecs(120));
  expect(installs == 0,
         QStringLiteral("An update never installs while a crel, capture, menu or the app itself is in use"));
  idle = true;
  controller.installIfIdle(t0.addSecs(130));
  controller.installIfIdle(t0.addSecs(185));
  expect(installs == 0, QStringLiteral("A quiet moment shorter than a minute does not install"));
  controller.installIfIdle(t0.addSecs(191));
  expect(installs == 1, QStringLiteral("After a quiet minute the downloaded update installs and relaunches"));
  idle = false;
  controller.installIfIdle(t0.addSecs(400));
  idle = true;
  controller.installIfIdle(t0.addSecs(401));
  expect(installs == 1, QStringLiteral("If quitting was cancelled, a retry waits for another quiet minute"));
  controller.updateMenuAction();
  expect(installs == 2, QStringLiteral("The menu's Install Update installs the downloaded update at once"));
}

void idleRuleCheck() {
  ShellRules::IdleState quiet;
  quiet.now = QDateTime::currentDateTimeUtc();
  quiet.lastInteraction = quiet.now.addSecs(-60);
  const FakeShellWindow window; // visible and main-capable
  const ShellRules::Windows none;
  const ShellRules::Windows oneWindow{&window};

  bool eachAloneBusies = !ShellRules::isIdle(quiet, oneWindow);
  const std::function<void(ShellRules::IdleState &)> breaks[] = {
      [](ShellRules::IdleState &s) { s.hasEditors = true; },
      [](ShellRules::IdleState &s) { s.captureIdle = false; },
      [](ShellRules::IdleState &s) { s.statusMenuOpen = true; },
      [](ShellRules::IdleState &s) { s.applicationActive = true; },
      [](ShellRules::IdleState &s) { s.lastInteraction = s.now.addSecs(-59); },
  };
  for (const auto &brk : breaks) {
    ShellRules::IdleState state = quiet;
    brk(state);
    eachAloneBusies = eachAloneBusies && !ShellRules::isIdle(state, none);
  }
  // The front end also asks the busy rule: a capture or a modal dialog holds the install off.
  const bool busyRuleHolds = !ShellRules::isBusy(true, false, none) && ShellRules::isBusy(false, false, none) &&
                             ShellRules::isBusy(true, true, none);
  expect(eachAloneBusies && busyRuleHolds && ShellRules::isIdle(quiet, none),
         QStringLiteral("Idle means no open screenshot, window, capture or menu, the app in the background, and a "
                        "minute since last use"));
}

} // namespace

void run(const QImage &image, const QDir &root) {
  sessionChecks(image, root);
  bundleChecks();
  quietInstallChecks();
  idleRuleCheck();
}

} // namespace crel::UpdateTests
