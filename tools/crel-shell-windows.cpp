// crel-shell-windows [--scale N] <folder>: renders the shell's own windows
// headless at N device pixels per point (1 by default) and writes
//   welcome.png    the welcome and settings view, full height
//   shortcuts.png  the keyboard-shortcuts window
//   update_settings.png  the update section with version 2.1 ready to install
//   shortcuts_guide.png  the guide those two show, at its full height
//   shortcuts_popover.png  the editor's keyboard popover over a compact
//                  editor-sized window, its button near the right edge
//   welcome_focus.png  each control of the welcome view, in Tab order, with
//                  the keyboard focus on it
// over private settings, so nothing of the user's is read or changed.

#include "ToolUsage.h"
#include "WidgetPng.h"

#include "app/AppMenus.h"
#include "app/LaunchAtLogin.h"
#include "app/ShortcutGuide.h"
#include "app/ShortcutManager.h"
#include "app/UpdateSettingsView.h"
#include "app/WelcomeView.h"
#include "chrome/LightPalette.h"
#include "document/AnnotationPreferences.h"
#include "document/EditorSizePreferences.h"
#include "editor/ShortcutPopover.h"
#include "platform/desktop/AutostartLoginItem.h"
#include "platform/desktop/InertNotificationCenter.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/SettingsStore.h"
#include "platform/shortcuts/HotKeyBackend.h"
#include "update/UpdateController.h"
#include "update/UpdateNotifier.h"
#include "update/framework/Updater.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QLayout>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>

using namespace crel;

namespace {

// The view's controls as Tab reaches them, each cut out of the view drawn
// with the focus on it, one under another.
bool renderFocusRings(QWidget &view, const QString &path, double scale) {
  view.show();
  view.activateWindow();
  QDeadlineTimer activated(5000);
  while (QApplication::activeWindow() != &view && !activated.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  view.setFocus(Qt::OtherFocusReason);
  std::vector<QImage> crops;
  QList<QWidget *> reached;
  for (;;) {
    QWidget *from = QApplication::focusWidget();
    if (!from)
      break;
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QCoreApplication::sendEvent(from, &tab);
    QWidget *focus = QApplication::focusWidget();
    if (!focus || focus == from || reached.contains(focus))
      break;
    reached.append(focus);
    const QRect around = QRect(focus->mapTo(&view, QPoint()), focus->size()).adjusted(-14, -10, 14, 10);
    QImage crop((QSizeF(around.size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    crop.setDevicePixelRatio(scale);
    crop.fill(Qt::white);
    view.render(&crop, QPoint(), QRegion(around));
    crops.push_back(crop);
  }
  view.setFocus(Qt::OtherFocusReason);
  int width = 0, height = 0;
  const int gap = int(8 * scale);
  for (const QImage &crop : crops) {
    width = std::max(width, crop.width());
    height += crop.height() + gap;
  }
  QImage sheet(std::max(width, 1), std::max(height, 1), QImage::Format_ARGB32_Premultiplied);
  sheet.fill(QColor(228, 228, 228));
  QPainter painter(&sheet);
  int y = 0;
  for (QImage crop : crops) {
    crop.setDevicePixelRatio(1);
    painter.drawImage(0, y, crop);
    y += crop.height() + gap;
  }
  painter.end();
  if (crops.empty() || !sheet.save(path)) {
    std::fprintf(stderr, "FAIL: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

const char *usage = "usage: crel-shell-windows [--scale N] FOLDER\n";

} // namespace

int main(int argc, char **argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i)
    arguments << QString::fromLocal8Bit(argv[i]);
  if (tools::wantsUsage(arguments, {"--scale"}))
    return tools::printUsage(usage);
  double scale = 1;
  if (const qsizetype at = arguments.indexOf("--scale"); at >= 0) {
    scale = at + 1 < arguments.size() ? arguments[at + 1].toDouble() : 0;
    if (scale <= 0)
      return tools::printUsage(usage);
    arguments.remove(at, 2);
  }
  if (arguments.size() != 1)
    return tools::printUsage(usage);
  tools::useHeadlessDefaults(CREL_SHELL_WINDOWS_BUNDLE_DIR);
  QApplication app(argc, argv);
  LightPalette::install(app);
  const QString folder = arguments[0];
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "FAIL: cannot make %s\n", qPrintable(folder));
    return 1;
  }

  QTemporaryDir scratch;
  SettingsStore settings(scratch.filePath("settings.ini"));
  AutostartLoginItem::Location location{scratch.filePath("config"), {}, "org.example.crel", "Crel", {}, {}};
  AutostartLoginItem loginItem(location);
  LaunchAtLogin login(loginItem, settings, true);
  login.refreshStatus();
  ShortcutManager shortcuts(settings);
  AnnotationPreferences annotation(settings);
  EditorSizePreferences sizes(settings);
  // An updater that is never started, with an update staged by hand.
  UpdateController updates([&settings](update::UpdaterDelegate *d, update::UserDriverDelegate *u) {
    update::Updater::Environment env;
    env.settings = &settings;
    return std::make_unique<update::Updater>(env, d, u);
  });
  InertNotificationCenter center(QStringLiteral("The shell windows show no notifications."));
  UpdateNotifier notifier(center, settings, {"crel"});
  update::AppcastItem staged;
  staged.version = staged.displayVersionString = "2.1";
  updates.willInstallUpdateOnQuit(staged, [] {});
  WelcomeView::Actions actions;
  actions.updatesSection = [&](QWidget *parent) { return new UpdateSettingsView(updates, &notifier, parent); };
  WelcomeView welcome(shortcuts, login, annotation, sizes, actions);
  UpdateSettingsView section(updates, &notifier);
  constexpr int sectionWidth = WelcomeView::viewWidth - 2 * WelcomeView::padding;
  section.resize(sectionWidth, section.layout()->totalHeightForWidth(sectionWidth));
  section.layout()->activate();
  welcome.resize(WelcomeView::viewWidth, welcome.layout()->totalHeightForWidth(WelcomeView::viewWidth));
  welcome.layout()->activate();
  AppMenus menus(AppIdentity::name(), AppMenus::inertHooks([&] { return shortcuts.current().label(); }));
  std::unique_ptr<QWidget> guide(ShortcutGuide::window([&] {
    return ShortcutGuide::content(ShortcutGuide::captureLine(shortcuts.current().label()), menus.mainMenus());
  }));
  // A scroll area lays out its content when shown (off screen here).
  guide->setAttribute(Qt::WA_DontShowOnScreen);
  guide->show();
  // Switches set by code move their knobs over a fraction of a second.
  QDeadlineTimer settled(500);
  while (!settled.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  // The popover as the bottom bar opens it: its button near the window's
  // bottom-right corner, the guide handed in by the application.
  QWidget editorWindow;
  editorWindow.setAttribute(Qt::WA_DontShowOnScreen);
  editorWindow.setGeometry(100, 100, 800, 460);
  auto *keyboard = new QWidget(&editorWindow);
  keyboard->setGeometry(800 - 50, 460 - 44, 32, 32);
  editorWindow.show();
  ShortcutPopover popover([&] {
    return ShortcutGuide::content(ShortcutGuide::captureLine(shortcuts.current().label()), menus.mainMenus());
  });
  popover.setAttribute(Qt::WA_DontShowOnScreen);
  popover.popUp(keyboard);
  QCoreApplication::processEvents();
  ShortcutGuideView whole([&] {
    return ShortcutGuide::content(ShortcutGuide::captureLine(shortcuts.current().label()), menus.mainMenus());
  });
  whole.resize(ShortcutGuide::windowWidth, whole.heightForWidth(ShortcutGuide::windowWidth));
  whole.layout()->activate();
  const bool written = tools::renderToPng(whole, QDir(folder).filePath("shortcuts_guide.png"), scale) &&
                       tools::renderToPng(popover, QDir(folder).filePath("shortcuts_popover.png"), scale) &&
                       tools::renderToPng(welcome, QDir(folder).filePath("welcome.png"), scale) &&
                       tools::renderToPng(*guide, QDir(folder).filePath("shortcuts.png"), scale) &&
                       tools::renderToPng(section, QDir(folder).filePath("update_settings.png"), scale) &&
                       renderFocusRings(welcome, QDir(folder).filePath("welcome_focus.png"), scale);
  return written ? 0 : 1;
}
