#include "UpdateAcceptance.h"

#include "app/AppDelegate.h"
#include "app/AppLaunch.h"
#include "capture/CaptureSource.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditorSizePreferences.h"
#include "document/Ink.h"
#include "document/Mark.h"
#include "editor/EditorController.h"
#include "platform/files/AtomicFileWriter.h"
#include "platform/files/FileError.h"
#include "selfcheck/Check.h"
#include "selfcheck/Failure.h"
#include "selfcheck/Fixtures.h"
#include "update/UpdateController.h"
#include "update/framework/BundleInfo.h"
#include "update/framework/Updater.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>
#include <QWidget>

#include <unistd.h>

namespace crel::acceptance {

namespace {

constexpr int noUpdateCode = 1001;

// Evidence the runner reads as it was written: no atomic replacement.
void writePlainFile(const QString &path, const QByteArray &data) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size() || !file.flush())
    throw FileError(QStringLiteral("%1 could not be written: %2").arg(path, file.errorString()));
}

QImage whiteImage() {
  QImage image(80, 60, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  return image;
}

Mark fixtureArrow() {
  Mark mark;
  mark.id = QUuid::createUuid();
  mark.tool = MarkTool::arrow;
  mark.start = {10, 10};
  mark.end = {60, 40};
  mark.ink = Ink::palette().value(0);
  mark.width = 3;
  mark.arrowHeadScale = 1;
  mark.fontSize = 40;
  mark.textBoxWidth = 320;
  return mark;
}

} // namespace

UpdateAcceptance::UpdateAcceptance(Target target, QString folder, QString scenario, Limits limits, QObject *parent)
    : QObject(parent), target_(std::move(target)), folder_(std::move(folder)), scenario_(std::move(scenario)),
      limits_(limits) {
  pollTimer_.setSingleShot(true);
  pollTimer_.setInterval(pollMs);
  connect(&pollTimer_, &QTimer::timeout, this, &UpdateAcceptance::poll);
  relaunchTimer_.setSingleShot(true);
  connect(&relaunchTimer_, &QTimer::timeout, this,
          [this] { guarded([] { NativeTests::fail(QStringLiteral("The update did not relaunch the app")); }); });
  guarded([this] { begin(); });
}

void UpdateAcceptance::run(AppDelegate &delegate, UpdateController &updates, const QString &folder,
                           const QString &scenario) {
  Target target{updates};
  target.editors = [&delegate] {
    std::vector<EditorController *> editors;
    for (const auto &editor : delegate.editors())
      editors.push_back(editor.get());
    return editors;
  };
  target.openEditor = [&delegate](std::unique_ptr<EditorController> editor) {
    EditorController &shown = *editor;
    delegate.connectEditor(std::move(editor));
    shown.present();
  };
  target.statusTitle = [&delegate] { return std::optional(delegate.statusItem().text().title); };
  target.closeWelcome = [&delegate] {
    if (QWidget *welcome = delegate.welcomeWindow())
      welcome->close();
  };
  target.terminate = [&delegate] { delegate.requestQuit(); };
  target.setRelaunchArguments = [&updates](const QStringList &arguments) {
    updates.updater().setRelaunchArguments(arguments);
  };
  target.fail = [](std::exception_ptr error) { runOrFail([&] { std::rethrow_exception(error); }); };
  new UpdateAcceptance(std::move(target), folder, scenario, Limits(), &delegate);
}

void UpdateAcceptance::guarded(const std::function<void()> &step) {
  if (failed_)
    return;
  try {
    step();
  } catch (...) {
    failed_ = true;
    pollTimer_.stop();
    relaunchTimer_.stop();
    target_.fail(std::current_exception());
  }
}

void UpdateAcceptance::waitUntil(std::function<bool()> condition, int limitMs, const QString &failure,
                                 std::function<void()> next) {
  wait_ = Wait{std::move(condition), QDeadlineTimer(limitMs), failure, std::move(next)};
  poll();
}

void UpdateAcceptance::poll() {
  guarded([this] {
    if (!wait_)
      return;
    if (wait_->condition()) {
      const std::function<void()> next = std::move(wait_->next);
      wait_.reset();
      next();
      return;
    }
    if (wait_->deadline.hasExpired())
      NativeTests::fail(wait_->failure);
    pollTimer_.start();
  });
}

void UpdateAcceptance::begin() {
  if (target_.closeWelcome)
    target_.closeWelcome();
  // Exact names: "Restored" is an ordinary background-check name.
  if (scenario_ == QLatin1String("restored"))
    restored();
  else if (scenario_ == QLatin1String("upgrade") || scenario_ == QLatin1String("quit") ||
           scenario_ == QLatin1String("terminate"))
    stage();
  else
    backgroundCheck();
}

void UpdateAcceptance::restored() {
  const std::vector<EditorController *> editors = target_.editors();
  NativeTests::expect(editors.size() == 1,
                      QStringLiteral("Normal launch restores the open editor after an update installed on quit"));
  CrelDocument &document = editors.front()->document();
  const QList<Mark> &marks = document.marks();
  NativeTests::expect(marks.size() == 1 && marks.front().tool == MarkTool::arrow && document.canUndo(),
                      QStringLiteral("Restored annotations remain editable with undo history"));
  const QByteArray expected = NativeTests::readFile(QDir(folder_).filePath(QStringLiteral("expected.png")));
  const QByteArray rendered = document.renderPNG();
  NativeTests::expect(expected == rendered,
                      QStringLiteral("Restored editor renders the same image after real installation"));
  finish();
}

void UpdateAcceptance::stage() {
  auto document = std::make_unique<CrelDocument>(whiteImage(), AnnotationPreferences::shared());
  const CaptureSource source{QString(), QStringLiteral("Updater acceptance fixture")};
  document->enableAutosave(folder_, source.filenameStem(QDateTime::currentDateTime()));
  if (!document->savedURL())
    NativeTests::fail(QStringLiteral("The fixture document was not saved"));
  document->commit({fixtureArrow()});
  auto editor = std::make_unique<EditorController>(std::move(document), EditorSizePreferences::shared());
  fixture_ = editor.get();
  // An open editor keeps the application from counting as idle, so the
  // update is held rather than installed quietly.
  target_.openEditor(std::move(editor));
  UpdateController &updates = target_.updates;
  waitUntil([&updates] { return updates.readyToInstall(); }, limits_.updateReadyMs,
            QStringLiteral("Update never reached the ready state: ") + updates.status(), [this] { staged(); });
}

void UpdateAcceptance::staged() {
  UpdateController &updates = target_.updates;
  const std::optional<QString> title = target_.statusTitle ? target_.statusTitle() : std::nullopt;
  NativeTests::expect(title && title->contains(QChar(0x2191)),
                      QStringLiteral("A background download updates the system tray while the same process stays "
                                     "running"));
  NativeTests::expect(updates.canInstallNow(),
                      QStringLiteral("A staged update is held for a quiet install instead of waiting for quit"));
  if (!fixture_)
    NativeTests::fail(QStringLiteral("The fixture editor closed before the update was ready"));
  CrelDocument &document = fixture_->document();
  document.flushAutosave();
  const QString saved = document.savedURL().value_or(QString());
  const QJsonObject before{{QStringLiteral("pid"), qint64(::getpid())},
                           {QStringLiteral("savedURL"), saved},
                           {QStringLiteral("version"), update::BundleInfo::current().version}};
  writePlainFile(QDir(folder_).filePath(QStringLiteral("before.json")),
                 QJsonDocument(before).toJson(QJsonDocument::Compact));
  writePlainFile(QDir(folder_).filePath(QStringLiteral("expected.png")), NativeTests::readFile(saved));
  if (scenario_ == QLatin1String("quit")) {
    target_.terminate();
    return;
  }
  // The runner ends this process with a signal, as a logout would.
  if (scenario_ == QLatin1String("terminate")) {
    AtomicFileWriter::write(QDir(folder_).filePath(QStringLiteral("staged")), QByteArrayLiteral("staged"));
    return;
  }
  // The relaunched application checks what it restored instead of starting plainly.
  if (target_.setRelaunchArguments)
    target_.setRelaunchArguments({QStringLiteral("--update-acceptance"), folder_, QStringLiteral("--update-scenario"),
                                  QStringLiteral("restored")});
  updates.updateMenuAction();
  NativeTests::pass(QStringLiteral("Install Update starts the staged installation without restarting the app first"));
  // The installation ends this process long before.
  relaunchTimer_.start(limits_.relaunchMs);
}

void UpdateAcceptance::backgroundCheck() {
  UpdateController &updates = target_.updates;
  waitUntil([&updates] { return updates.lastErrorCode().has_value(); }, limits_.checkFinishedMs,
            QStringLiteral("The background update check did not finish: ") + updates.status(),
            [this] { checkFinished(); });
}

void UpdateAcceptance::checkFinished() {
  UpdateController &updates = target_.updates;
  const int code = updates.lastErrorCode().value_or(0);
  if (scenario_ == QLatin1String("current") || scenario_ == QLatin1String("newer"))
    NativeTests::expect(code == noUpdateCode,
                        QStringLiteral("An up-to-date installation is not offered a downgrade or reinstall"));
  else
    NativeTests::expect(code != noUpdateCode && !updates.readyToInstall(),
                        QStringLiteral("Invalid update data is rejected by the actual updater"));
  waitUntil([&updates] { return updates.scheduledDelay().has_value(); }, limits_.nextCheckMs,
            QStringLiteral("The updater did not schedule its next check"),
            [this] {
              NativeTests::pass(QStringLiteral("Background checks schedule the next attempt without an app restart"));
              finish();
            });
}

void UpdateAcceptance::finish() {
  AtomicFileWriter::write(QDir(folder_).filePath(QStringLiteral("passed")), QByteArrayLiteral("passed"));
  target_.terminate();
}

} // namespace crel::acceptance
