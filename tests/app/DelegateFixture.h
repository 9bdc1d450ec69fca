#pragma once

#include "capture/CaptureTestFixtures.h"
#include "support/TestSupport.h"

#include "app/AppDelegate.h"
#include "app/LaunchAtLogin.h"
#include "app/SessionStore.h"
#include "app/ShortcutManager.h"
#include "app/UpdateService.h"
#include "capture/CaptureCoordinator.h"
#include "capture/SilentCapturePanel.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "document/EditorSizePreferences.h"
#include "editor/EditorController.h"
#include "platform/clipboard/Pasteboard.h"
#include "platform/desktop/LoginItemService.h"
#include "platform/shortcuts/HotKeyBackend.h"
#include "support/FakeNotificationCenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace crel::test {

class FakeUpdates : public UpdateService {
public:
  QString title = QStringLiteral("Check for Updates…");
  bool check = false, staged = false, installing = false, known = false;
  int started = 0;
  QString menuTitle() const override { return title; }
  bool canCheck() const override { return check; }
  bool hasStagedInstall() const override { return staged; }
  bool isInstalling() const override { return installing; }
  bool isUpdateKnown() const override { return known; }
  void start() override { ++started; }
  bool busy() const { return askBusy(); }
  bool idle() const { return askIdle(); }
};

class FakeSession : public SessionStore {
public:
  bool present = false, failRead = false;
  std::vector<QRect> frames;
  std::vector<QString> notices; // per frame, what the restore did differently
  QString partialFailure;       // why the rest was not restored
  int reads = 0, clears = 0;
  bool exists() const override { return present; }
  std::vector<Entry> read() override {
    ++reads;
    if (failRead)
      throw CrelError::capture(QStringLiteral("The saved session could not be read."));
    std::vector<Entry> entries;
    for (const QRect &frame : frames) {
      QImage image = filledImage({400, 300}, Qt::white);
      const QString notice = entries.size() < notices.size() ? notices[entries.size()] : QString();
      entries.push_back({std::make_unique<CrelDocument>(image, AnnotationPreferences::shared()), frame, notice});
    }
    return entries;
  }
  std::exception_ptr takeReadFailure() override {
    return partialFailure.isEmpty() ? nullptr : std::make_exception_ptr(CrelError::capture(partialFailure));
  }
  void clear() override { ++clears; }
};

// The delegate over real services with stand-ins at their edges: stills on
// request, panels that never reach the screen, no key grab (no display).
class Delegate : public ::testing::Test {
protected:
  Delegate() {
    qunsetenv("DISPLAY");
    Pasteboard::overrideGeneral(&pasteboard);
  }
  ~Delegate() override {
    hideTopLevelWindows();
    delegate.reset();
    for (QWidget *w : QApplication::topLevelWidgets())
      w->close();
    Pasteboard::overrideGeneral(nullptr);
    // The next test of an X suite finds the display where it was.
    if (!display.isEmpty())
      qputenv("DISPLAY", display);
  }

  // Over the fakes, or over the update service, session store and shortcut manager given.
  AppDelegate &make(UpdateService *updateService = nullptr, SessionStore *sessionStore = nullptr,
                    ShortcutManager *shortcutManager = nullptr) {
    if (delegate)
      hideTopLevelWindows();
    delegate.reset();
    delegate = std::make_unique<AppDelegate>(
        AppServices{shortcutManager ? *shortcutManager : shortcuts, capture, updateService ? *updateService : updates,
                    login, sessionStore ? *sessionStore : session, pictures.path() + "/Crel", [this] { return clock; },
                    &notifications, tray, reader, openFolder, memoryRoom});
    return *delegate;
  }

  // The user answers every alert on screen (here the launch's own, about
  // the shortcut); true when there was one.
  static bool answerAlerts() {
    bool answered = false;
    for (QWidget *w : QApplication::topLevelWidgets())
      if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
        answered = (box->done(QMessageBox::Ok), true);
    return answered;
  }

  // Runs the capture road up to a selection on the one display.
  void captureRegion() {
    answerAlerts();
    delegate->newCapture();
    ASSERT_TRUE(pendingStills);
    auto done = std::move(pendingStills);
    pendingStills = nullptr;
    QImage still = filledImage({800, 600}, QColor(30, 120, 200), QImage::Format_RGB32);
    done({CaptureSnapshot{1, geom::Rect(0, 0, 800, 600), still}}, nullptr);
    ASSERT_FALSE(panels.empty());
    drag(panels.back()->contentView(), {100, 100}, {300, 250});
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.phase() == CaptureCoordinator::Phase::idle; }));
  }

  // An editor for `document`, in the delegate's list and on screen.
  EditorController &present(std::unique_ptr<CrelDocument> document) {
    auto editor = std::make_unique<EditorController>(std::move(document), EditorSizePreferences::shared());
    EditorController &shown = *editor;
    delegate->connectEditor(std::move(editor));
    shown.present();
    return shown;
  }

  QList<QWidget *> visibleWindows(const QString &objectName) const {
    QList<QWidget *> found;
    for (QWidget *w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->objectName() == objectName)
        found.append(w);
    return found;
  }

  const QByteArray display = qgetenv("DISPLAY");
  test::TemporarySettings settings;
  QTemporaryDir pictures;
  FakePasteboard pasteboard;
  QDateTime clock = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
  ShortcutManager shortcuts{settings.store()};
  CaptureSnapshot::Completion pendingStills;
  std::vector<std::shared_ptr<SilentCapturePanel>> panels;
  CaptureCoordinator capture{[this](QObject *, CaptureSnapshot::Completion done) {
                               pendingStills = std::move(done);
                               return SnapshotRequest();
                             },
                             [this](const geom::Rect &rect) {
                               panels.push_back(std::make_shared<SilentCapturePanel>(rect));
                               return panels.back();
                             }};
  FakeUpdates updates;
  FakeLoginItemService loginService;
  LaunchAtLogin login{loginService, settings.store(), false};
  FakeSession session;
  FakeNotificationCenter notifications;
  TrayWatch tray;
  ImageOpening::Reader reader;
  // The memory opening images may take; empty: the process's own.
  ImageOpening::Budget::Room memoryRoom;
  // No file manager shows anything in a test; empty: the desktop's.
  std::function<void(const QUrl &, std::function<void(bool)>)> openFolder =
      [](const QUrl &, const std::function<void(bool)> &done) { done(false); };
  std::unique_ptr<AppDelegate> delegate;
};

} // namespace crel::test
