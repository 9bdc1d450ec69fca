// The renderer modes of the real executable, headless, each in a fresh home:
// which files they write, what they print, and that no private settings
// domain outlives a run, also when the run fails.
#include "acceptance/ArrowOutline.h"
#include "acceptance/SettingsPreview.h"
#include "app/LaunchAtLogin.h"
#include "app/ShortcutManager.h"
#include "app/UpdateSettingsView.h"
#include "app/WelcomeView.h"
#include "chrome/BrandTextButton.h"
#include "document/AnnotationPreferences.h"
#include "document/EditorSizePreferences.h"
#include "document/MarkPath.h"
#include "platform/desktop/LoginItemService.h"
#include "platform/files/ResourceLocator.h"
#include "platform/files/SettingsStore.h"
#include "platform/shortcuts/HotKeyBackend.h"
#include "support/FakeNotificationCenter.h"
#include "support/LaunchProcess.h"
#include "update/UpdateController.h"
#include "update/UpdateNotifier.h"
#include "update/framework/Updater.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace crel {
namespace {

using Outcome = test::ProcessResult;

class RendererTest : public ::testing::Test {
protected:
  QTemporaryDir home;

  Outcome crel(const QStringList &arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("DISPLAY");
    const Outcome run = test::runProgram(CREL_EXECUTABLE, arguments, env, {}, 120000);
    EXPECT_TRUE(run.finished);
    return run;
  }

  QString out(const QString &name) const { return home.filePath("out/" + name); }

  QStringList files(const QString &folder) const { return QDir(folder).entryList(QDir::Files, QDir::Name); }

  // Every settings file left in the config folders of the home.
  QStringList domainsLeft(const QString &prefix) const {
    QStringList left;
    QDir config(home.filePath(".config"));
    for (const QString &sub : config.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
      left += QDir(config.filePath(sub)).entryList({prefix + "*"}, QDir::Files);
    return left;
  }
};

// The settings view as the live window builds it, over the standard settings
// and an updater that is never started.
struct LiveSettingsView {
  explicit LiveSettingsView(UpdateNotifier *notifier = nullptr) {
    WelcomeView::Actions actions;
    actions.updatesSection = [this, notifier](QWidget *parent) {
      return new UpdateSettingsView(updates, notifier, parent);
    };
    view = std::make_unique<WelcomeView>(shortcuts, login, AnnotationPreferences::shared(),
                                         EditorSizePreferences::shared(), std::move(actions));
  }
  ShortcutManager shortcuts{SettingsStore::standard()};
  FakeLoginItemService service;
  LaunchAtLogin login{service, SettingsStore::standard(), false};
  UpdateController updates{[](update::UpdaterDelegate *d, update::UserDriverDelegate *u) {
    return std::make_unique<update::Updater>(update::Updater::Environment::standard(SettingsStore::standard(), {}), d,
                                             u);
  }};
  std::unique_ptr<WelcomeView> view;
};

// The settings preview shows the user's real settings and changes none of
// them; the dark picture never exists without the light one.
TEST_F(RendererTest, SettingsPreviewLeavesTheDefaultsAsTheyWere) {
  QDir(home.path()).mkpath(".config/co.quorvex.crel");
  const QString ini = home.filePath(".config/co.quorvex.crel/co.quorvex.crel.ini");
  QFile stored(ini);
  ASSERT_TRUE(stored.open(QIODevice::WriteOnly));
  const QByteArray bytes = "[General]\nannotationStyle=doodle\neditorWindowSize=compact\n";
  stored.write(bytes);
  stored.close();
  const Outcome run = crel({"--render-settings", out("settings")});
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(files(out("settings")), QStringList({"settings-dark.png", "settings-light.png"}));
  ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
  EXPECT_EQ(stored.readAll(), bytes);
  EXPECT_EQ(QDir(home.filePath(".config/co.quorvex.crel")).entryList(QDir::Files), QStringList{"co.quorvex.crel.ini"});
  EXPECT_FALSE(QDir(home.filePath(".config/autostart")).exists());
  const QImage light(out("settings/settings-light.png")), dark(out("settings/settings-dark.png"));
  EXPECT_EQ(light.size(), dark.size());
  EXPECT_EQ(light.width(), 460);
  EXPECT_GT(qGray(light.pixel(10, 10)), 200);
  EXPECT_LT(qGray(dark.pixel(10, 10)), 60);

  QDir(home.path()).mkpath("taken/settings-light.png");
  const Outcome failed = crel({"--render-settings", home.filePath("taken")});
  EXPECT_EQ(failed.status, 1);
  EXPECT_FALSE(QFile::exists(home.filePath("taken/settings-dark.png")));
}

// The preview is the settings window's whole view: as tall as the view with
// its update section, which an unstarted updater still builds.
TEST_F(RendererTest, SettingsPreviewIsTheWholeViewWithItsUpdateSection) {
  SettingsPreview::render(out("whole"), CommandLine(QStringList{"crel"}));
  const QImage light(out("whole/settings-light.png"));
  ASSERT_FALSE(light.isNull());

  LiveSettingsView whole;
  EXPECT_EQ(light.height(), whole.view->heightForWidth(WelcomeView::viewWidth));
}

// A copy with an update feed shows its notification control in the preview
// as in the live window while permission is not known, whatever this
// machine's notification service says.
TEST_F(RendererTest, SettingsPreviewOfACopyWithAFeedOffersUpdateNotifications) {
  const QString real = ResourceLocator::bundleDirectory();
  const QString copy = home.filePath("Feed.app");
  ASSERT_TRUE(QDir().mkpath(copy));
  ASSERT_TRUE(QFile::link(real + "/Resources", copy + "/Resources"));
  QJsonObject info = ResourceLocator::infoDictionary();
  info["SUFeedURL"] = "https://updates.example/appcast.json";
  info["SUPublicEDKey"] = QString::fromLatin1(QByteArray(32, 'k').toBase64());
  QFile file(copy + "/Info.json");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QJsonDocument(info).toJson());
  file.close();
  ResourceLocator::setBundleDirectoryOverride(copy);
  SettingsPreview::render(out("feed"), CommandLine(QStringList{"crel"}));
  const QImage light(out("feed/settings-light.png"));

  // Where the control lies in the view as the live window builds it.
  FakeNotificationCenter center;
  UpdateNotifier notifier(center, SettingsStore::standard(), {"crel"});
  LiveSettingsView live(&notifier);
  ResourceLocator::setBundleDirectoryOverride({});
  ASSERT_TRUE(live.updates.isAvailable());
  WelcomeView &view = *live.view;
  view.resize(WelcomeView::viewWidth, view.heightForWidth(WelcomeView::viewWidth));
  view.setAttribute(Qt::WA_DontShowOnScreen);
  view.show();
  QCoreApplication::processEvents();
  QRect control;
  for (const BrandTextButton *button : view.findChildren<BrandTextButton *>())
    if (button->text() == "Allow update notifications" && button->isVisible())
      control = QRect(button->mapTo(&view, QPoint(0, 0)), button->size());
  ASSERT_FALSE(control.isEmpty());
  ASSERT_EQ(light.size(), view.size());

  // The preview draws the control's title there, in the brand's blue.
  int ink = 0;
  for (int y = control.top(); y <= control.bottom(); ++y)
    for (int x = control.left(); x <= control.right(); ++x) {
      const QColor c = light.pixelColor(x, y);
      ink += c.blue() > c.red() + 60;
    }
  EXPECT_GT(ink, 20);
}

TEST_F(RendererTest, EditorPreviewPrintsWhatItRendered) {
  const Outcome quick = crel({"--render-editor", out("quick"), "--quick"});
  EXPECT_EQ(quick.status, 0) << quick.err.toStdString();
  const QRegularExpression line(R"(^Rendered editor (arrow|blur|rotation) light large: frame=\(0, 0, 1120, 780\), )"
                                R"(content=\(0, 0, 1120, 780\), canvas=\([-\d.]+, [-\d.]+, [\d.]+, [\d.]+\)$)");
  const QStringList lines = quick.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);
  for (const QString &l : lines)
    EXPECT_TRUE(line.match(l).hasMatch()) << l.toStdString();
  // The editor picture is the window, opaque, at its content size.
  const QImage editor(out("quick/editor-arrow-light-large.png"));
  EXPECT_EQ(editor.size(), QSize(1120, 780));
  EXPECT_EQ(editor.pixelColor(560, 390).alpha(), 255);
  EXPECT_EQ(files(out("quick")), QStringList({"editor-arrow-light-large.png", "editor-blur-light-large.png",
                                              "editor-rotation-light-large.png", "fixture-arrow-light-large.png",
                                              "fixture-blur-light-large.png", "fixture-rotation-light-large.png"}));

  const Outcome color = crel({"--quick", "--render-editor", out("color"), "--color-inspection"});
  EXPECT_EQ(color.status, 0) << color.err.toStdString();
  EXPECT_TRUE(color.out.startsWith("PASS: Preview displays the color from a real canvas hover\nRendered editor color"))
      << color.out.toStdString() << color.err.toStdString();
  EXPECT_EQ(color.out.count('\n'), 2);
  EXPECT_EQ(files(out("color")), QStringList({"editor-color-light-large.png", "fixture-color-light-large.png"}));
  EXPECT_EQ(domainsLeft("editor-preview-"), QStringList());
}

TEST_F(RendererTest, AFailedRunEndsWithOneFailLineAndLeavesNoDomain) {
  // A file where the folder should be: nothing can be written below it.
  QFile blocker(home.filePath("blocker"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  // A folder where an image should go: the run fails after it has begun.
  QDir(home.path()).mkpath("taken/formal.png");
  QDir(home.path()).mkpath("taken/editor-arrow-light-large.png");
  const struct {
    QStringList arguments;
    QString domain;
  } cases[] = {
      {{"--render-styles", home.filePath("blocker/styles")}, "style-preview-"},
      {{"--render-styles", home.filePath("taken")}, "style-preview-"},
      {{"--render-editor", home.filePath("taken"), "--quick"}, "editor-preview-"},
      {{"--export-arrow-svg", home.filePath("blocker/arrow.svg")}, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const Outcome run = crel(c.arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.startsWith("FAIL: ")) << run.err.toStdString();
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    if (!c.domain.isEmpty()) {
      EXPECT_TRUE(domainsLeft(c.domain).isEmpty());
    }
  }
}

TEST_F(RendererTest, StyleSheetsDifferOnlyWhereTheMarksAre) {
  const Outcome run = crel({"--render-styles", out("styles")});
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(files(out("styles")),
            QStringList({"doodle.png", "extension-dark.png", "extension-light.png", "formal.png"}));
  EXPECT_EQ(domainsLeft("style-preview-"), QStringList());
  const QImage formal(out("styles/formal.png")), doodle(out("styles/doodle.png"));
  ASSERT_EQ(formal.size(), QSize(1000, 640));
  ASSERT_EQ(doodle.size(), formal.size());
  // The caption band (below the title word) is the same; the mark area is not.
  bool captionSame = true, marksDiffer = false;
  for (int y = 70; y < 100; ++y)
    for (int x = 0; x < 1000; ++x)
      captionSame = captionSame && formal.pixel(x, y) == doodle.pixel(x, y);
  for (int y = 120; y < 640 && !marksDiffer; ++y)
    for (int x = 0; x < 1000 && !marksDiffer; ++x)
      marksDiffer = formal.pixel(x, y) != doodle.pixel(x, y);
  EXPECT_TRUE(captionSame);
  EXPECT_TRUE(marksDiffer);
  // The marks past the edges grow the extension previews on every side.
  const QImage light(out("styles/extension-light.png"));
  EXPECT_GT(light.width(), 800);
  EXPECT_GT(light.height(), 460);
}

TEST_F(RendererTest, ArrowOutlineIsOneLineOfSvg) {
  const QString file = out("deep/er/arrow.svg");
  ASSERT_EQ(crel({"--export-arrow-svg", file}).status, 0);
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(f.readAll());
  static const QRegularExpression shape(
      R"(^<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 \d+\.\d\d \d+\.\d\d"><path d="(M|L|C|Q|Z|[-\d. ])+"/></svg>\n$)");
  EXPECT_TRUE(shape.match(text).hasMatch()) << text.toStdString();
  EXPECT_EQ(text.count('\n'), 1);
  EXPECT_FALSE(text.contains(QRegularExpression(" [MLCQZ]")));
  EXPECT_TRUE(text.contains("Z\"/>"));
}

// Coordinates are moved so that the outline keeps one unit to each edge; a
// closed subpath keeps its explicit close and the numbers have two decimals.
TEST(ArrowOutline, WritesEveryElementAgainstTheGrownBounds) {
  MarkPath closed;
  closed.addRect(geom::Rect(10, 20, 30, 40));
  MarkPath curve;
  curve.moveTo({-5, 0});
  curve.curveTo({-5, 10}, {5, 10}, {5, 0});
  curve.lineTo({-5, 0});
  const struct {
    const char *name;
    MarkPath path;
    const char *expected;
  } cases[] = {
      {"rectangle", closed,
       "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 32.00 42.00\"><path "
       "d=\"M1.00 1.00L31.00 1.00L31.00 41.00L1.00 41.00Z\"/></svg>\n"},
      {"curve", curve,
       "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 12.00 9.50\"><path "
       "d=\"M1.00 1.00C1.00 11.00 11.00 11.00 11.00 1.00L1.00 1.00\"/></svg>\n"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(ArrowOutline::svg(c.path).toStdString(), c.expected) << c.name;
  EXPECT_THROW(ArrowOutline::svg(MarkPath()), std::exception);
}

} // namespace
} // namespace crel
