// Runs one update scenario end to end against the real application: copies
// the built application folder into a private tree as the installed version,
// signs a release made from the same build, serves the signed feed and the
// archive on loopback, launches the application with --update-acceptance as
// many times as the scenario needs (a private HOME and XDG folders per run),
// and checks what the application reports and what it leaves on disk.
//
//   crel-update-acceptance --bundle DIR --scenario NAME   (names: scenarios())
//
// Prints a PASS line per check and "ALL UPDATE ACCEPTANCE CHECKS PASSED"; a
// failure prints one FAIL line and what the application wrote, and exits 1.

#include "../ArchiveBuilder.h"
#include "../LoopbackFeedServer.h"
#include "../SmallFileSystem.h"
#include "../StubNotificationServer.h"
#include "update/framework/Appcast.h"
#include "update/framework/AppcastEnvelope.h"
#include "update/framework/Ed25519.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>

#include <csignal>
#include <sys/stat.h>

using namespace crel::update;

namespace {

const QString identifier = "co.quorvex.crel";

class RunnerFailure : public std::runtime_error {
public:
  explicit RunnerFailure(const QString &message) : std::runtime_error(message.toStdString()) {}
};

// The machine cannot run the scenario (CTest reads the status as skipped).
class RunnerSkip : public std::runtime_error {
public:
  explicit RunnerSkip(const QString &message) : std::runtime_error(message.toStdString()) {}
};
constexpr int skippedStatus = 77;

void check(bool condition, const QString &message) {
  if (!condition)
    throw RunnerFailure(message);
  std::printf("PASS: %s\n", qPrintable(message));
  std::fflush(stdout);
}

QByteArray readFile(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs the event loop (the feed server answers meanwhile) until `condition`
// holds or `limitMs` has passed; tested every 20 ms.
bool waitFor(const std::function<bool()> &condition, int limitMs) {
  const QDeadlineTimer deadline(limitMs);
  while (!condition()) {
    if (deadline.hasExpired())
      return false;
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

QStringList lines(const QByteArray &text) { return QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts); }

// The checks a run of the application reports as passed, in order.
QStringList passed(const QByteArray &text) {
  return lines(text).filter(QRegularExpression("^PASS: ")).replaceInStrings(QRegularExpression("^PASS: "), "");
}

const QStringList stagingLines{"A background download updates the system tray while the same process stays running",
                               "A staged update is held for a quiet install instead of waiting for quit"};
const QStringList upgradeLines =
    stagingLines + QStringList{"Install Update starts the staged installation without restarting the app first"};
const QStringList restoredLines{"Normal launch restores the open editor after an update installed on quit",
                                "Restored annotations remain editable with undo history",
                                "Restored editor renders the same image after real installation"};
const QStringList currentLines{"An up-to-date installation is not offered a downgrade or reinstall",
                               "Background checks schedule the next attempt without an app restart"};
const QStringList refusedLines{"Invalid update data is rejected by the actual updater",
                               "Background checks schedule the next attempt without an app restart"};

struct Run {
  qint64 pid = 0;
  int status = -1;
  QByteArray out;
  QByteArray err;
};

// One private installation: the application folder in apps/, the evidence
// folder, HOME and the XDG folders, all under one temporary folder; the
// feed and the archive on a loopback server.
class Bench {
public:
  explicit Bench(const QString &bundle) : bundle_(bundle) {
    if (!root_.isValid())
      throw RunnerFailure("no temporary folder");
    for (const char *folder : {"apps", "evidence", "home", "config", "data", "cache", "runtime"})
      QDir().mkpath(path(QString::fromLatin1(folder)));
    ::chmod(QFile::encodeName(path("runtime")).constData(), 0700);
    bundleInfo_ = QJsonDocument::fromJson(readFile(bundle + "/Info.json")).object();
    if (bundleInfo_.isEmpty())
      throw RunnerFailure(QString("%1 has no Info.json").arg(bundle));
    // Automatic downloads, as a user turns them on in the settings.
    setSetting("SUAutomaticallyUpdate", true);
  }

  QString path(const QString &relative) const { return root_.filePath(relative); }
  QString app() const { return path("apps/Crel.app"); }
  QString evidence() const { return path("evidence"); }
  QString updatesCache() const { return path("cache/") + identifier + "/Updates"; }
  const Ed25519::KeyPair &keys() const { return keys_; }
  const Ed25519::KeyPair &otherKeys() const { return otherKeys_; }
  LoopbackFeedServer &server() { return server_; }

  QByteArray info(const QString &version, const QString &bundleIdentifier = identifier) const {
    QJsonObject info = bundleInfo_;
    info["CFBundleIdentifier"] = bundleIdentifier;
    info["CFBundleVersion"] = version;
    info["CFBundleShortVersionString"] = QString("1." + version);
    info["SUFeedURL"] = server_.url("/appcast.json").toString();
    info["SUPublicEDKey"] = QString::fromLatin1(keys_.publicKey.toBase64());
    return QJsonDocument(info).toJson();
  }

  // The build as the installed application of `version`.
  void install(const QString &version) {
    QDir().mkpath(app());
    for (const auto &[name, file] : buildFiles()) {
      const QString target = app() + '/' + name;
      if (name == "Info.json" ? !writeFile(target, info(version))
          : file.isDir()      ? !QDir().mkpath(target)
                              : !QFile::copy(file.filePath(), target))
        throw RunnerFailure(QString("cannot install %1").arg(target));
    }
  }

  // The build as a release archive of `version`: one top-level Crel.app.
  QList<ArchiveEntry> release(const QString &version, const QString &bundleIdentifier = identifier) const {
    using K = ArchiveEntry::Kind;
    QList<ArchiveEntry> entries{{K::folder, "Crel.app", {}, {}, 0755}};
    for (const auto &[name, file] : buildFiles()) {
      if (file.isDir())
        entries.append({K::folder, "Crel.app/" + name, {}, {}, 0755});
      else
        entries.append({K::file,
                        "Crel.app/" + name,
                        name == "Info.json" ? info(version, bundleIdentifier) : readFile(file.filePath()),
                        {},
                        file.isExecutable() ? 0755u : 0644u});
    }
    return entries;
  }

  // Serves `entries` as the archive of `version` and a feed offering it,
  // both signed with the release key unless said otherwise (an empty feed
  // key: a feed without a signature); the feed names `offeredVersion` when given.
  void publish(const QString &version, const QList<ArchiveEntry> &entries, const QByteArray &archiveSeed,
               const QByteArray &feedSeed, HttpFault fault = {}, const QString &offeredVersion = {}) {
    const QByteArray archive = buildArchive(entries);
    server_.serve("/Crel-" + version + ".tar.gz", archive, fault);
    AppcastItem item;
    item.version = offeredVersion.isEmpty() ? version : offeredVersion;
    item.displayVersionString = "1." + version;
    item.archiveUrl = server_.url("/Crel-" + version + ".tar.gz");
    item.length = archive.size();
    item.sha256 = QCryptographicHash::hash(archive, QCryptographicHash::Sha256);
    item.edSignature = Ed25519::sign(archive, archiveSeed);
    Appcast appcast;
    appcast.identifier = identifier;
    appcast.generated = QDateTime::currentDateTimeUtc();
    appcast.items = {item};
    QByteArray feed = AppcastEnvelope::seal(appcast.encodePayload(), feedSeed.isEmpty() ? keys_.seed : feedSeed);
    if (feedSeed.isEmpty()) {
      QJsonObject unsigned_ = QJsonDocument::fromJson(feed).object();
      unsigned_.remove("signature");
      feed = QJsonDocument(unsigned_).toJson();
    }
    server_.serve("/appcast.json", feed);
  }
  void publish(const QString &version) { publish(version, release(version), keys_.seed, keys_.seed); }

  // Starts the installed application with `arguments` and its private folders.
  std::unique_ptr<QProcess> start(const QStringList &arguments) const {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto &[variable, folder] : {std::pair{"HOME", "home"},
                                           {"XDG_CONFIG_HOME", "config"},
                                           {"XDG_DATA_HOME", "data"},
                                           {"XDG_CACHE_HOME", "cache"},
                                           {"XDG_RUNTIME_DIR", "runtime"}})
      env.insert(variable, path(folder));
    // Locks and sockets of this run's own, apart from every other run of the user.
    env.insert("CREL_RUNTIME_DIR", path("runtime") + "/crel");
    process->setProcessEnvironment(env);
    process->start(app() + "/bin/crel", arguments);
    if (!process->waitForStarted(10000))
      throw RunnerFailure(QString("the application did not start: %1").arg(process->errorString()));
    return process;
  }

  // Waits for a started application to end; `label` names it in messages.
  Run finish(QProcess &process, const QString &label, int limitMs) {
    Run run;
    run.pid = process.processId();
    const bool ended = waitFor([&] { return process.state() == QProcess::NotRunning; }, limitMs);
    if (!ended) {
      process.kill();
      process.waitForFinished(5000);
    }
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    transcript_ += "--- " + label.toUtf8() + " (pid " + QByteArray::number(run.pid) + ")\n" + run.out + run.err;
    if (!ended)
      throw RunnerFailure(QString("the \"%1\" run did not end within %2 s").arg(label).arg(limitMs / 1000));
    return run;
  }

  // One update scenario of the application, to its end.
  Run launch(const QString &scenario, int limitMs) {
    const auto process = start({"--update-acceptance", evidence(), "--update-scenario", scenario});
    return finish(*process, scenario, limitMs);
  }

  // Sets the application's `key`; no value removes it.
  void setSetting(const QString &key, const std::optional<QVariant> &value) {
    settings_.sync();
    value ? settings_.setValue(key, *value) : settings_.remove(key);
    settings_.sync();
  }

  // Processes whose command line names this tree: the application, its
  // installer helper, the relaunched application.
  QList<qint64> ownProcesses() const {
    QList<qint64> pids;
    const QByteArray marker = QFile::encodeName(root_.path());
    for (const QString &name : QDir("/proc").entryList(QDir::Dirs)) {
      bool numeric = false;
      const qint64 pid = name.toLongLong(&numeric);
      if (numeric && pid != QCoreApplication::applicationPid() &&
          readFile("/proc/" + name + "/cmdline").contains(marker))
        pids << pid;
    }
    return pids;
  }

  // Waits for every process of the tree to end; those left are stopped.
  bool processesEnded(int limitMs) {
    if (waitFor([this] { return ownProcesses().isEmpty(); }, limitMs))
      return true;
    for (const qint64 pid : ownProcesses())
      ::kill(pid_t(pid), SIGKILL);
    return false;
  }

  QStringList entries(const QString &relative) const {
    return QDir(path(relative)).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  }
  // The application folder on a file system of `bytes` (before install()).
  void useSmallDisk(qint64 bytes) {
    disk_.emplace(path("apps"), bytes);
    if (!disk_->mounted())
      throw RunnerSkip("a small file system cannot be mounted here (this needs root)");
  }
  qint64 appSize() const {
    qint64 total = 0;
    for (const auto &[name, file] : buildFiles())
      total += file.isDir() ? 0 : file.size();
    return total;
  }
  // Every path of the installed application with its bytes.
  QByteArray installedTree() const {
    QByteArray tree;
    QDirIterator it(app(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    QStringList paths;
    while (it.hasNext())
      paths << it.next();
    paths.sort();
    for (const QString &p : paths)
      tree += p.toUtf8() + '\n' + QCryptographicHash::hash(readFile(p), QCryptographicHash::Sha256).toHex() + '\n';
    return tree;
  }
  QString installedVersion() const {
    return QJsonDocument::fromJson(readFile(app() + "/Info.json")).object().value("CFBundleVersion").toString();
  }
  const QByteArray &transcript() const { return transcript_; }

private:
  // Every entry of the built application folder, by its path inside it, parents first.
  QList<std::pair<QString, QFileInfo>> buildFiles() const {
    QList<std::pair<QString, QFileInfo>> files;
    QDirIterator it(bundle_, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QFileInfo file(it.next());
      files.append({QDir(bundle_).relativeFilePath(file.filePath()), file});
    }
    return files;
  }
  static bool writeFile(const QString &path, const QByteArray &data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
  }

  QString bundle_;
  QTemporaryDir root_;
  std::optional<SmallFileSystem> disk_; // unmounted before root_ goes
  QSettings settings_{root_.filePath("config/" + identifier + '/' + identifier + ".ini"), QSettings::IniFormat};
  QJsonObject bundleInfo_;
  LoopbackFeedServer server_;
  Ed25519::KeyPair keys_ = Ed25519::generate();
  Ed25519::KeyPair otherKeys_ = Ed25519::generate();
  QByteArray transcript_;
};

void expectRun(const Run &run, const QString &scenario, const QStringList &expected) {
  check(run.status == 0 && !run.err.contains("FAIL: "),
        QString("the \"%1\" run ends with status 0 and no failure").arg(scenario));
  check(passed(run.out) == expected,
        QString("the \"%1\" run reports its %2 checks").arg(scenario).arg(expected.size()));
}

void expectPassed(Bench &bench) { check(readFile(bench.evidence() + "/passed") == "passed", "\"passed\" is written"); }

// The installer's results in the cache, whatever copy each names.
QStringList installResults(Bench &bench) {
  QStringList paths;
  for (const QString &name : QDir(bench.updatesCache()).entryList({"install-result*"}, QDir::Files | QDir::Hidden))
    paths << bench.updatesCache() + "/" + name;
  return paths;
}

// What a finished install leaves: the new version in place, no backup,
// staging folder, install result or stray anywhere beside it.
void expectInstalledCleanly(Bench &bench, const QString &version) {
  check(bench.processesEnded(30000), "no process of the installation is left running");
  check(bench.installedVersion() == version, QString("the application folder holds version %1").arg(version));
  check(bench.entries("apps") == QStringList{"Crel.app"}, "nothing but the application is left beside it");
  check(installResults(bench).isEmpty(), "the new version has read and removed the install result");
}

// The staging scenarios leave the fixture PNG, before.json and expected.png;
// before.json names the old process, its version and the saved PNG, whose
// bytes expected.png holds.
void expectStagingEvidence(Bench &bench, const Run &run) {
  const QJsonObject before = QJsonDocument::fromJson(readFile(bench.evidence() + "/before.json")).object();
  const QString saved = before.value("savedURL").toString();
  check(before.value("version").toString() == "100" && before.value("pid").toInteger() == run.pid,
        "before.json names the old version and its process");
  check(QFileInfo(saved).absolutePath() == QFileInfo(bench.evidence()).absoluteFilePath() && saved.endsWith(".png") &&
            readFile(saved) == readFile(bench.evidence() + "/expected.png") && readFile(saved).startsWith("\x89PNG"),
        "expected.png holds the saved fixture PNG");
}

void waitForInstallResult(Bench &bench) {
  check(waitFor(
            [&] {
              const QStringList results = installResults(bench);
              return results.size() == 1 && readFile(results.first()).contains("\"installed\"");
            },
            60000),
        "the installer reports the update installed");
}

// Version 100 installed, 101 offered: the old version stages it behind an open document.
void stageUpdate(Bench &bench, const QString &scenario, const QStringList &expected) {
  bench.install("100");
  bench.publish("101");
  const Run old = bench.launch(scenario, 150000);
  expectRun(old, scenario, expected);
  expectStagingEvidence(bench, old);
}

// The quit installed 101 without relaunching; 101 reopens the editor as it was.
void expectRestoredAfterQuit(Bench &bench) {
  waitForInstallResult(bench);
  check(bench.installedVersion() == "101", "quitting installed version 101");
  check(bench.processesEnded(30000), "the installer ends without relaunching");
  const Run restored = bench.launch("restored", 120000);
  expectRun(restored, "restored", restoredLines);
  expectPassed(bench);
  expectInstalledCleanly(bench, "101");
}

void quitScenario(Bench &bench, const QString &name) {
  stageUpdate(bench, name, stagingLines);
  expectRestoredAfterQuit(bench);
}

// Release hosts answer the archive's address with a redirect to storage that
// says "Content-Length: 0": the release behind it stages and installs on quit.
void redirectedReleaseScenario(Bench &bench, const QString &) {
  bench.install("100");
  bench.publish("101");
  bench.server().moveBehindRedirect("/Crel-101.tar.gz", "/storage/Crel-101.tar.gz", true);
  const Run old = bench.launch("quit", 150000);
  expectRun(old, "quit", stagingLines);
  check(bench.server().requestCount("/Crel-101.tar.gz") == 1 &&
            bench.server().requestCount("/storage/Crel-101.tar.gz") == 1,
        "the archive is fetched once, from where the redirect sends it");
  expectStagingEvidence(bench, old);
  expectRestoredAfterQuit(bench);
}

// A logout or `kill` ends the version that staged the update: the same quit,
// the editor kept for 101.
void terminateScenario(Bench &bench, const QString &name) {
  bench.install("100");
  bench.publish("101");
  const auto app = bench.start({"--update-acceptance", bench.evidence(), "--update-scenario", name});
  check(waitFor([&] { return QFile::exists(bench.evidence() + "/staged") || app->state() != QProcess::Running; },
                150000) &&
            app->state() == QProcess::Running,
        "the update is staged behind the open editor");
  ::kill(pid_t(app->processId()), SIGTERM);
  const Run old = bench.finish(*app, name, 60000);
  expectRun(old, name, stagingLines);
  expectStagingEvidence(bench, old);
  expectRestoredAfterQuit(bench);
}

void upgradeScenario(Bench &bench, const QString &name) {
  stageUpdate(bench, name, upgradeLines);
  check(waitFor([&] { return QFile::exists(bench.evidence() + "/passed"); }, 60000),
        "the relaunched version writes \"passed\"");
  expectPassed(bench);
  check(bench.processesEnded(60000), "the relaunched version ends by itself");
  const QByteArray log = readFile(bench.updatesCache() + "/installer.log");
  check(passed(log) == restoredLines && !log.contains("FAIL: "),
        "the relaunched version reports the restored document's checks");
  expectInstalledCleanly(bench, "101");
}

// A background check that finds nothing to install.
void upToDateScenario(Bench &bench, const QString &scenario, const QString &installed) {
  bench.install(installed);
  bench.publish("101");
  expectRun(bench.launch(scenario, 120000), scenario, currentLines);
  expectPassed(bench);
  check(bench.processesEnded(30000), "the application leaves no process behind");
  check(bench.installedVersion() == installed, "the installed version is unchanged");
  check(bench.entries("apps") == QStringList{"Crel.app"}, "nothing is left beside it");
}

// A release the updater must refuse: the installed application stays as it
// was, byte for byte, and nothing is left beside it or anywhere in the tree.
// `archiveFetched`: the refusal comes after the download, not before it.
void refusedScenario(Bench &bench, const QString &scenario, bool archiveFetched,
                     const std::function<void(Bench &)> &publish) {
  bench.install("100");
  publish(bench);
  const QByteArray installed = bench.installedTree();
  expectRun(bench.launch(scenario, 120000), scenario, refusedLines);
  expectPassed(bench);
  check(bench.processesEnded(30000), "the application leaves no process behind");
  check(bench.installedTree() == installed, "the installed application is unchanged, byte for byte");
  check(bench.entries("apps") == QStringList{"Crel.app"}, "no staging folder or extracted file is left beside it");
  check(!QFile::exists(bench.path("x")) && !QDir(bench.updatesCache() + "/101").exists() &&
            !QFile::exists(bench.updatesCache() + "/update.archive"),
        "nothing of the release is kept elsewhere");
  const int feeds = bench.server().requestCount("/appcast.json");
  const int archives = bench.server().requestCount("/Crel-101.tar.gz");
  // Qt's HTTP layer may ask again for a transfer the server cut short.
  const bool asExpected = feeds == 1 && (archiveFetched ? archives >= 1 : archives == 0);
  const QString counts = QStringLiteral(" (feed asked for %1 times, release %2)").arg(feeds).arg(archives);
  check(asExpected, QString::fromLatin1(archiveFetched ? "the release was downloaded before it was refused"
                                                       : "the feed was refused before any download") +
                        (asExpected ? QString() : counts));
}

// xdotool on the test bed's X server; its output lines.
QStringList xdotool(const QStringList &arguments) {
  QProcess process;
  process.start("xdotool", arguments);
  if (!process.waitForFinished(20000))
    throw RunnerFailure(QString("xdotool %1 did not finish").arg(arguments.join(' ')));
  return lines(process.readAllStandardOutput());
}

// The mapped windows of process `pid`.
QStringList visibleWindows(qint64 pid) { return xdotool({"search", "--onlyvisible", "--pid", QString::number(pid)}); }

// Waits for a mapped window of `pid` other than `known`, makes it the active
// window and types `key` into it. Returns the window.
QString answerNewWindow(qint64 pid, const QStringList &known, const QString &key, const QString &message) {
  QString window;
  check(waitFor(
            [&] {
              for (const QString &w : visibleWindows(pid))
                if (!known.contains(w))
                  window = w;
              return !window.isEmpty();
            },
            60000),
        message);
  xdotool({"windowactivate", "--sync", window});
  xdotool({"key", "--clearmodifiers", key});
  return window;
}

// The application as a person runs it: a scheduled check announces the
// update by a notification, a click on it opens the update dialog, Install
// Update downloads and stages it, Later leaves it for the quit, and the quit
// starts the installer, which installs without relaunching. The new version
// then starts and cleans up after the installation.
void installOnQuitScenario(Bench &bench, const QString &) {
  bench.install("100");
  bench.publish("101");
  bench.setSetting("SUAutomaticallyUpdate", false);
  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notifications");
  StubNotificationServer notifications;
  if (!bus.registerObject("/org/freedesktop/Notifications", &notifications, QDBusConnection::ExportAllContents) ||
      !bus.registerService("org.freedesktop.Notifications"))
    throw RunnerFailure("no session bus for the notification server");

  // A login launch shows no window of its own.
  const auto app = bench.start({"--launched-at-login"});
  const qint64 pid = app->processId();
  const QString archive = "/Crel-101.tar.gz";
  check(waitFor([&] { return !notifications.notified.isEmpty(); }, 60000) &&
            notifications.notified.first().summary == "Crel 1.101 is available",
        "a scheduled check announces version 1.101 in a notification");
  check(bench.server().requestCount(archive) == 0 && visibleWindows(pid).isEmpty(),
        "nothing is downloaded or shown before the user answers");

  Q_EMIT notifications.ActionInvoked(42, "default");
  const QString offer = answerNewWindow(pid, {}, "Return", "a click on the notification opens the update dialog");
  answerNewWindow(pid, {offer}, "Escape", "Install Update downloads the update and says it is ready");
  check(bench.server().requestCount(archive) == 1 && waitFor([&] { return visibleWindows(pid).isEmpty(); }, 20000),
        "Later closes the dialog");
  const QStringList beside = bench.entries("apps");
  check(bench.installedVersion() == "100" && beside.size() == 2 &&
            beside.filter(QRegularExpression("^\\.Crel\\.app\\.staged-")).size() == 1,
        "the staged update waits for the quit");

  ::kill(pid_t(pid), SIGTERM);
  const Run quit = bench.finish(*app, "install on quit", 60000);
  check(quit.status == 0, "the application quits normally");
  waitForInstallResult(bench);
  check(bench.processesEnded(30000) && bench.installedVersion() == "101",
        "the installer puts version 101 in place without relaunching");

  bench.setSetting("SULastCheckTime", std::nullopt); // the next launch checks at once
  expectRun(bench.launch("current", 120000), "current", currentLines);
  expectInstalledCleanly(bench, "101");
}

// A signed feed whose version climbs out of the cache: refused as damaged
// before anything is fetched, and a folder beside the cache survives.
void versionPathScenario(Bench &bench, const QString &name) {
  const QString marker = QDir::cleanPath(bench.updatesCache() + "/../kept/marker");
  QDir().mkpath(QFileInfo(marker).absolutePath());
  QFile file(marker);
  check(file.open(QIODevice::WriteOnly) && file.write("kept") == 4, "a folder beside the cache holds a marker");
  file.close();
  refusedScenario(bench, name, false,
                  [](Bench &b) { b.publish("101", b.release("101"), b.keys().seed, b.keys().seed, {}, "101/../.."); });
  check(readFile(marker) == "kept", "the folder beside the cache survives");
}

// The application's disk has room for the installed copy but not for the
// release: refused after the download, and nothing is left on that disk.
void fullDiskScenario(Bench &bench, const QString &name) {
  bench.useSmallDisk(bench.appSize() + (2 << 20));
  refusedScenario(bench, name, true, [](Bench &b) { b.publish("101"); });
}

// Each runs in a fresh bench and is told its own name.
using Scenario = std::function<void(Bench &, const QString &)>;

Scenario upToDate(const char *installed) {
  return [installed](Bench &b, const QString &name) { upToDateScenario(b, name, QString::fromLatin1(installed)); };
}

Scenario refused(bool archiveFetched, std::function<void(Bench &)> publish) {
  return [=](Bench &b, const QString &name) { refusedScenario(b, name, archiveFetched, publish); };
}

const std::map<QString, Scenario> &scenarios() {
  const QString v = "101";
  static const std::map<QString, Scenario> table{
      {"quit", quitScenario},
      {"redirected-release", redirectedReleaseScenario},
      {"terminate", terminateScenario},
      {"upgrade", upgradeScenario},
      {"install-on-quit", installOnQuitScenario},
      {"version-path", versionPathScenario},
      {"full-disk", fullDiskScenario},
      {"current", upToDate("101")},
      {"newer", upToDate("102")},
      {"bad-feed-signature",
       refused(false, [v](Bench &b) { b.publish(v, b.release(v), b.keys().seed, b.otherKeys().seed); })},
      {"unsigned-feed", refused(false, [v](Bench &b) { b.publish(v, b.release(v), b.keys().seed, QByteArray()); })},
      {"bad-archive-signature",
       refused(true, [v](Bench &b) { b.publish(v, b.release(v), b.otherKeys().seed, b.keys().seed); })},
      {"truncated-archive",
       refused(true,
               [v](Bench &b) {
                 const QList<ArchiveEntry> entries = b.release(v);
                 b.publish(v, entries, b.keys().seed, b.keys().seed, {buildArchive(entries).size() / 2, -1});
               })},
      {"archive-escaping-folder",
       refused(true,
               [v](Bench &b) {
                 QList<ArchiveEntry> entries = b.release(v);
                 entries.append({ArchiveEntry::Kind::file, "../x", "outside", {}, 0644});
                 entries.append({ArchiveEntry::Kind::file, "Crel.app/../../../x", "outside", {}, 0644});
                 b.publish(v, entries, b.keys().seed, b.keys().seed);
               })},
      {"wrong-identifier",
       refused(true, [v](Bench &b) { b.publish(v, b.release(v, "co.quorvex.other"), b.keys().seed, b.keys().seed); })},
  };
  return table;
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  const qsizetype bundleAt = args.indexOf("--bundle"), scenarioAt = args.indexOf("--scenario");
  const auto scenario =
      scenarioAt > 0 && scenarioAt + 1 < args.size() ? scenarios().find(args[scenarioAt + 1]) : scenarios().end();
  if (bundleAt < 0 || bundleAt + 1 >= args.size() || scenario == scenarios().end()) {
    std::fprintf(stderr, "usage: crel-update-acceptance --bundle DIR --scenario NAME\n");
    return 2;
  }
  std::optional<Bench> bench;
  try {
    bench.emplace(args[bundleAt + 1]);
    scenario->second(*bench, scenario->first);
  } catch (const RunnerSkip &e) {
    std::printf("SKIPPED: %s\n", e.what());
    return skippedStatus;
  } catch (const std::exception &e) {
    std::fflush(stdout);
    std::fprintf(stderr, "FAIL: %s\n", e.what());
    if (bench) {
      std::fprintf(stderr, "%s", bench->transcript().constData());
      const QByteArray log = readFile(bench->updatesCache() + "/installer.log");
      if (!log.isEmpty())
        std::fprintf(stderr, "--- installer.log\n%s", log.constData());
      bench->processesEnded(0);
    }
    return 1;
  }
  std::printf("ALL UPDATE ACCEPTANCE CHECKS PASSED\n");
  return 0;
}
