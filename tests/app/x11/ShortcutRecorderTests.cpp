#include "ShortcutTestKit.h"
#include "app/ShortcutControl.h"
#include "app/ShortcutRecorder.h"

#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

using namespace crel;
using namespace crel::test;

namespace {

const QString kSaved = QStringLiteral("Shortcut saved. It works while the app is in the system tray.");
const QString kRecording = QStringLiteral("Press a shortcut…");
const QString kInclude = QStringLiteral("Include Ctrl or Super…");

// The welcome window's share: a shortcut control next to a text field, in an
// active window with a Quit action on Ctrl+Q.
class RecorderWindow {
public:
  explicit RecorderWindow(ShortcutManager &manager) {
    control = new ShortcutControl(manager, &window);
    other = new QLineEdit(&window);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(control);
    layout->addWidget(other);
    auto *quit = new QAction(&window);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QObject::connect(quit, &QAction::triggered, [this] { ++quits; });
    window.addAction(quit);
    QObject::connect(&recorder(), &ShortcutRecorder::recorded, [this] { ++records; });
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  ~RecorderWindow() { hideTopLevelWindows(); }
  ShortcutRecorder &recorder() { return control->recorder(); }
  void startRecording() {
    QTest::mouseClick(&recorder(), Qt::LeftButton);
    EXPECT_TRUE(recorder().isRecording());
    EXPECT_EQ(recorder().text(), kRecording);
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorder().hasFocus(); }));
  }
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(&recorder(), key, modifiers);
  }

  QWidget window;
  ShortcutControl *control;
  QLineEdit *other;
  int quits = 0;
  int records = 0;
};

} // namespace

TEST(ShortcutRecorder, EscapeAndFocusLossEndRecordingAndRestoreTheLabel) {
  ShortcutRig rig;
  RecorderWindow ui(rig.manager());
  EXPECT_EQ(ui.recorder().text(), QStringLiteral("Ctrl+Shift+2"));
  EXPECT_EQ(ui.recorder().accessibleName(),
            QStringLiteral("Capture shortcut. Click to record a new keyboard shortcut."));

  ui.startRecording();
  ui.press(Qt::Key_Shift, Qt::ShiftModifier); // a modifier alone changes nothing
  EXPECT_EQ(ui.recorder().text(), kRecording);
  ui.press(Qt::Key_Escape);
  EXPECT_FALSE(ui.recorder().isRecording());
  EXPECT_EQ(ui.recorder().text(), QStringLiteral("Ctrl+Shift+2"));

  ui.startRecording();
  ui.press(Qt::Key_A, Qt::ShiftModifier);
  EXPECT_EQ(ui.recorder().text(), kInclude);
  ui.other->setFocus();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !ui.recorder().isRecording(); }));
  EXPECT_EQ(ui.recorder().text(), QStringLiteral("Ctrl+Shift+2"));
  EXPECT_EQ(ShortcutRecorder::active(), nullptr);

  EXPECT_EQ(ui.records, 0);
  EXPECT_EQ(ui.control->message(), QString());
  EXPECT_FALSE(rig.settings().contains(QStringLiteral("captureShortcut")));
}

TEST(ShortcutRecorder, InvalidCombinationsKeepRecordingUntilAValidOneIsSaved) {
  ShortcutRig rig(ShortcutRig::registered);
  RecorderWindow ui(rig.manager());

  ui.startRecording();
  for (auto [key, modifiers] : {std::pair{Qt::Key_A, Qt::KeyboardModifiers(Qt::ShiftModifier)},
                                {Qt::Key_Tab, Qt::ControlModifier},
                                {Qt::Key_Return, Qt::ControlModifier},
                                {Qt::Key_A, Qt::AltModifier}}) {
    ui.press(key, modifiers);
    EXPECT_TRUE(ui.recorder().isRecording()) << key;
    EXPECT_EQ(ui.recorder().text(), kInclude) << key;
    EXPECT_TRUE(ui.recorder().hasFocus()) << key;
  }
  // Real keys, read from the keyboard mapping: Shift turns "5" into "%", the
  // shortcut keeps the key's own character.
  pressKeys({"ctrl+shift+5"});
  EXPECT_TRUE(QTest::qWaitFor([&] { return !ui.recorder().isRecording(); }));
  EXPECT_EQ(ui.recorder().text(), QStringLiteral("Ctrl+Shift+5"));
  EXPECT_EQ(ui.control->message(), kSaved);
  EXPECT_EQ(ui.control->shortcutLabel(), QStringLiteral("Ctrl+Shift+5"));
  EXPECT_EQ(rig.manager().current(),
            (CaptureShortcut{0x35, CaptureShortcut::command | CaptureShortcut::shift, "5", "AE05"}));

  pressKeys({"ctrl+shift+2", "ctrl+shift+5"});
  EXPECT_TRUE(rig.waitForCaptures(1));
  EXPECT_EQ(rig.captures(), 1);
  ASSERT_EQ(rig.presses().size(), 1u);
  EXPECT_EQ(rig.presses().front().key, "AE05");
}

TEST(ShortcutRecorder, CtrlQIsRecordedWithoutQuitting) {
  ShortcutRig rig;
  RecorderWindow ui(rig.manager());
  ui.startRecording();
  ui.press(Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(ui.quits, 0);
  EXPECT_EQ(ui.records, 1);
  EXPECT_EQ(ui.recorder().text(), QStringLiteral("Ctrl+Q"));
  // Not recording, the same keys reach the action again.
  ui.press(Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(ui.quits, 1);
  EXPECT_EQ(ui.records, 1);
}

TEST(ShortcutRecorder, RecordingTheShortcutInForceSavesWithoutANewGrab) {
  ShortcutRig rig(ShortcutRig::registered);
  rig.settings().remove(QStringLiteral("captureShortcut"));
  RecorderWindow ui(rig.manager());

  ui.startRecording();
  // The grab takes the keys before the window sees them and hands them over.
  pressKeys({"ctrl+shift+2"});
  EXPECT_TRUE(QTest::qWaitFor([&] { return ui.control->message() == kSaved; }));
  EXPECT_EQ(ui.recorder().text(), QStringLiteral("Ctrl+Shift+2"));
  EXPECT_FALSE(rig.settings().contains(QStringLiteral("captureShortcut")));
  pressKeys({"ctrl+shift+2"});
  EXPECT_TRUE(rig.waitForCaptures(1));
}

TEST(ShortcutRecorder, TakenCombinationShowsTheConflictAndKeepsTheOldShortcut) {
  ShortcutRig rig(ShortcutRig::registered);
  GrabElsewhere other(0x37, 0x4 | 0x8); // Ctrl+Alt+7
  ASSERT_TRUE(other.ready());
  RecorderWindow ui(rig.manager());

  ui.startRecording();
  ui.press(Qt::Key_7, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_FALSE(ui.recorder().isRecording());
  EXPECT_EQ(ui.control->message(),
            QStringLiteral("Ctrl+Alt+7 is already used by another app or the desktop. Choose a different shortcut. "
                           "Your previous shortcut is unchanged."));
  EXPECT_EQ(ui.recorder().text(), QStringLiteral("Ctrl+Shift+2"));
  EXPECT_EQ(ui.control->shortcutLabel(), QString());
  EXPECT_EQ(rig.manager().current(), CaptureShortcut::defaultShortcut());
  pressKeys({"ctrl+shift+2"});
  EXPECT_TRUE(rig.waitForCaptures(1));
}

TEST(ShortcutRecorder, PressingTheGrabbedCombinationWhileRecordingRecordsItWithoutACapture) {
  ShortcutRig rig(ShortcutRig::registered);
  RecorderWindow ui(rig.manager());

  ui.startRecording();
  pressKeys({"ctrl+shift+2"});
  EXPECT_TRUE(QTest::qWaitFor([&] { return !ui.recorder().isRecording(); }));
  rig.settle();
  EXPECT_EQ(rig.captures(), 0);
  EXPECT_EQ(ui.records, 1);
  EXPECT_EQ(ui.control->message(), kSaved);
  EXPECT_EQ(ui.recorder().text(), QStringLiteral("Ctrl+Shift+2"));

  // Once recording is over the same press captures again.
  pressKeys({"ctrl+shift+2"});
  EXPECT_TRUE(rig.waitForCaptures(1));
}
