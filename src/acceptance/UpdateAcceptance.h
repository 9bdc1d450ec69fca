#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace crel {

class AppDelegate;
class EditorController;
class UpdateController;

namespace acceptance {

// One step of an end-to-end update test inside the fully started
// application, driving its real updater: "quit" and "upgrade" stage a
// downloaded update behind an open document (then quit, or install at once),
// "restored" checks the document that came back after the installation, and
// any other name checks that a background check ends cleanly ("current",
// "newer": nothing offered; others: bad update data refused). Evidence goes
// into the folder: the fixture PNG, before.json, expected.png and passed.
// The run is driven by the event loop, so updater callbacks, autosaves and
// the quit itself happen between its polls.
class UpdateAcceptance : public QObject {
public:
  static constexpr int pollMs = 100;

  // What the run reads from and does to the application.
  struct Target {
    UpdateController &updates;
    std::function<std::vector<EditorController *>()> editors;
    // Joins the application's open editors (and so the update session) and shows it.
    std::function<void(std::unique_ptr<EditorController>)> openEditor;
    // The status item's title; none without a status item.
    std::function<std::optional<QString>()> statusTitle;
    std::function<void()> closeWelcome;
    // The application's normal terminate request.
    std::function<void()> terminate;
    // The arguments the relaunched application gets after an immediate install.
    std::function<void(const QStringList &)> setRelaunchArguments;
    // The first failure ends the run here.
    std::function<void(std::exception_ptr)> fail;
  };

  struct Limits {
    int checkFinishedMs = 60000;
    int nextCheckMs = 60000;
    int updateReadyMs = 90000;
    int relaunchMs = 60000;
  };

  // Starts the scenario; the object lives as long as `parent`.
  UpdateAcceptance(Target target, QString folder, QString scenario, Limits limits, QObject *parent = nullptr);

  // The application's hook: starts the scenario over the live delegate; a
  // failure prints its FAIL line and ends the process with status 1.
  static void run(AppDelegate &delegate, UpdateController &updates, const QString &folder, const QString &scenario);

private:
  struct Wait {
    std::function<bool()> condition;
    QDeadlineTimer deadline;
    QString failure;
    std::function<void()> next;
  };

  void begin();
  void guarded(const std::function<void()> &step);
  // Tests `condition` now and every pollMs until `limitMs` has passed; `next`
  // runs as soon as it holds, otherwise the run fails with `failure`.
  void waitUntil(std::function<bool()> condition, int limitMs, const QString &failure, std::function<void()> next);
  void poll();

  void restored();
  void stage();
  void staged();
  void backgroundCheck();
  void checkFinished();
  void finish();

  Target target_;
  QString folder_;
  QString scenario_;
  Limits limits_;
  std::optional<Wait> wait_;
  QTimer pollTimer_;
  QTimer relaunchTimer_;
  QPointer<EditorController> fixture_;
  bool failed_ = false;
};

} // namespace acceptance

} // namespace crel
