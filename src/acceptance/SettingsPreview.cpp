#include "SettingsPreview.h"

#include "PreviewPng.h"

#include "app/LaunchAtLogin.h"
#include "app/ShortcutManager.h"
#include "app/UpdateSettingsView.h"
#include "app/WelcomeView.h"
#include "chrome/ChromeColors.h"
#include "chrome/LightPalette.h"
#include "document/AnnotationPreferences.h"
#include "document/EditorSizePreferences.h"
#include "platform/desktop/AutostartLoginItem.h"
#include "platform/desktop/InertNotificationCenter.h"
#include "platform/files/AtomicFileWriter.h"
#include "platform/files/ResourceLocator.h"
#include "platform/files/SettingsStore.h"
#include "platform/shortcuts/HotKeyBackend.h"
#include "selfcheck/Failure.h"
#include "selfcheck/Fixtures.h"
#include "update/UpdateController.h"
#include "update/UpdateNotifier.h"
#include "update/framework/Updater.h"

#include <QDir>
#include <QLabel>
#include <QVBoxLayout>

#include <memory>

namespace crel::SettingsPreview {

namespace {

// The light palette with its surfaces and texts turned dark.
QPalette darkPalette() {
  QPalette p = LightPalette::palette();
  const QColor window(0x1E, 0x1E, 0x1E), base(0x2A, 0x2A, 0x2A), button(0x3A, 0x3A, 0x3A);
  const QColor text = ChromeColors::white(0.88), dim = ChromeColors::white(0.5);
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    const bool disabled = group == QPalette::Disabled;
    p.setColor(group, QPalette::Window, window);
    p.setColor(group, QPalette::Base, base);
    p.setColor(group, QPalette::AlternateBase, button);
    p.setColor(group, QPalette::Button, button);
    p.setColor(group, QPalette::Light, QColor(0x4A, 0x4A, 0x4A));
    p.setColor(group, QPalette::Midlight, QColor(0x40, 0x40, 0x40));
    p.setColor(group, QPalette::Mid, QColor(0x30, 0x30, 0x30));
    p.setColor(group, QPalette::Dark, QColor(0x18, 0x18, 0x18));
    p.setColor(group, QPalette::Shadow, Qt::black);
    p.setColor(group, QPalette::ToolTipBase, button);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText, QPalette::ToolTipText})
      p.setColor(group, role, disabled ? dim : text);
    p.setColor(group, QPalette::PlaceholderText, dim);
  }
  return p;
}

// Labels carry the light scheme's text colours in their own palettes; the
// dark scheme shows the same text levels in white.
void darken(QWidget &root) {
  const QPalette palette = darkPalette();
  root.setPalette(palette);
  for (QLabel *label : root.findChildren<QLabel *>()) {
    QPalette own = label->palette();
    const double alpha = own.color(QPalette::WindowText).alphaF();
    own.setColor(QPalette::Window, palette.color(QPalette::Window));
    own.setColor(QPalette::WindowText, ChromeColors::white(alpha));
    label->setPalette(own);
  }
}

} // namespace

void render(const QString &folder, const CommandLine &commandLine) {
  if (!QDir().mkpath(folder))
    throw std::runtime_error(QStringLiteral("Could not create the folder %1.").arg(folder).toStdString());
  for (const bool dark : {false, true}) {
    // Built as the application builds them; nothing here is started or registered.
    ShortcutManager shortcuts(SettingsStore::standard());
    AutostartLoginItem loginItem(AutostartLoginItem::forThisProcess());
    LaunchAtLogin login(
        loginItem, SettingsStore::standard(),
        LaunchAtLogin::isInstalledApplication(commandLine, ResourceLocator::bundleDirectory(), QDir::homePath()));

    // The update section over an updater that is built but never started.
    UpdateController updates([](update::UpdaterDelegate *d, update::UserDriverDelegate *u) {
      return std::make_unique<update::Updater>(update::Updater::Environment::standard(SettingsStore::standard(), {}), d,
                                               u);
    });
    // A notification service never asked: the update section offers to
    // allow notifications, as the live window does until it knows, whatever
    // this machine's service would say. It shows nothing.
    // On the heap: GCC's -O1 (the sanitizer build) takes the optional error
    // of a stack copy for uninitialised.
    const auto center =
        std::make_unique<InertNotificationCenter>(QStringLiteral("The settings preview shows no notifications."));
    UpdateNotifier notifier(*center, SettingsStore::standard(), commandLine.arguments());
    WelcomeView::Actions actions;
    actions.updatesSection = [&](QWidget *parent) { return new UpdateSettingsView(updates, &notifier, parent); };

    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.setAttribute(Qt::WA_DontShowOnScreen);
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *view = new WelcomeView(shortcuts, login, AnnotationPreferences::shared(), EditorSizePreferences::shared(),
                                 std::move(actions), &window);
    layout->addWidget(view);
    if (dark)
      darken(*view);
    // The fitting size: wrapped texts take the height they need at the view's width.
    const int width = WelcomeView::viewWidth;
    window.resize(width, view->hasHeightForWidth() ? view->heightForWidth(width) : view->sizeHint().height());
    window.show();
    NativeTests::pumpFor(200);
    const QImage image = window.grab().toImage();
    if (image.isNull())
      throw NativeTests::Failure(QStringLiteral("Could not render Settings view"));
    AtomicFileWriter::write(QDir(folder).filePath(QStringLiteral("settings-%1.png").arg(dark ? "dark" : "light")),
                            PreviewPng::encode(image, QStringLiteral("Could not encode Settings view")));
    window.hide();
  }
}

} // namespace crel::SettingsPreview
