#include "WelcomeView.h"

#include "LaunchAtLogin.h"
#include "ShortcutControl.h"
#include "ShortcutManager.h"
#include "UpdateSettingsView.h"
#include "chrome/BrandSwitch.h"
#include "chrome/BrandTextButton.h"
#include "chrome/ChromeColors.h"
#include "chrome/ChromeFonts.h"
#include "chrome/ChromeScrollBar.h"
#include "chrome/ChromeSegmented.h"
#include "chrome/CommandText.h"
#include "chrome/FocusRing.h"
#include "chrome/LightPalette.h"
#include "chrome/PrimaryActionButton.h"
#include "chrome/SecondaryActionButton.h"
#include "chrome/ShellText.h"
#include "document/AnnotationPreferences.h"
#include "document/AnnotationStyle.h"
#include "document/CrelStorage.h"
#include "document/EditorSize.h"
#include "document/EditorSizePreferences.h"
#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <array>

namespace crel {

namespace {

constexpr std::array styles{AnnotationStyle::formal, AnnotationStyle::doodle};
constexpr std::array sizes{EditorSize::compact, EditorSize::regular, EditorSize::large};

QLabel *text(const QString &content, QWidget *parent, bool secondary = false) {
  return ShellText::label(content, parent, {13, QFont::Normal, secondary});
}

QLabel *caption(const QString &content, QWidget *parent) {
  return ShellText::label(content, parent, {11, QFont::Normal, true});
}

QLabel *heading(const QString &content, QWidget *parent) {
  return ShellText::label(content, parent, {13, QFont::Medium, false, false, false});
}

using ShellText::divider;

QVBoxLayout *section(QVBoxLayout *parent, int spacing) {
  auto *layout = new QVBoxLayout;
  layout->setSpacing(spacing);
  layout->setContentsMargins(0, 0, 0, 0);
  parent->addLayout(layout);
  return layout;
}

// A section titled `title` whose segmented picker offers the labels of
// `cases`; the section's captions follow the picker.
struct PickerSection {
  QVBoxLayout *layout;
  ChromeSegmented *picker;
};

template <class Cases>
PickerSection pickerSection(QVBoxLayout *column, const QString &title, const Cases &cases,
                            const QString &accessibleName, const QString &identifier, QWidget *parent) {
  QVBoxLayout *layout = section(column, 10);
  layout->addWidget(heading(title, parent));
  QStringList labels;
  for (const auto value : cases)
    labels << label(value);
  auto *control = new ChromeSegmented(parent);
  const QFont font = ChromeFonts::font(12, QFont::Medium);
  control->setOptions(ChromeSegmented::textOptions(labels, labels, font), ChromeSegmented::textPainter(labels, font));
  control->setAccessibleName(accessibleName);
  control->setIdentifier(identifier);
  layout->addWidget(control, 0, Qt::AlignLeft);
  return {layout, control};
}

} // namespace

WelcomeView::WelcomeView(ShortcutManager &shortcuts, LaunchAtLogin &login, AnnotationPreferences &annotation,
                         EditorSizePreferences &sizePreferences, Actions actions, QWidget *parent)
    : QWidget(parent), shortcuts_(shortcuts), login_(login), annotation_(annotation), sizes_(sizePreferences) {
  setObjectName(QStringLiteral("welcome"));
  setFixedWidth(viewWidth);
  setAutoFillBackground(true);
  LightPalette::apply(this);
  auto *column = new QVBoxLayout(this);
  column->setContentsMargins(padding, padding, padding, padding);
  column->setSpacing(spacing);

  // Icon, name and slogan.
  auto *icon = new QLabel(this);
  icon->setPixmap(AppIdentity::icon().pixmap(64, 64));
  icon->setFixedSize(64, 64);
  icon->setAccessibleName(AppIdentity::name());
  column->addSpacing(10);
  column->addWidget(icon, 0, Qt::AlignHCenter);
  auto *titles = new QVBoxLayout;
  titles->setSpacing(8);
  QLabel *name = ShellText::label(AppIdentity::name(), this, {25, QFont::DemiBold});
  name->setAlignment(Qt::AlignHCenter);
  titles->addWidget(name);
  QLabel *slogan = text(crel::tr("A little shortcut. A clearer point."), this, true);
  slogan->setAlignment(Qt::AlignHCenter);
  titles->addWidget(slogan);
  column->addLayout(titles);

  // The two main actions.
  auto *buttons = new QHBoxLayout;
  buttons->setSpacing(10);
  buttons->addStretch();
  auto *capture = new PrimaryActionButton(crel::tr("Capture an area"), this);
  capture->setObjectName(QStringLiteral("capture"));
  capture->setSymbol(QStringLiteral("viewfinder"));
  auto *open = new SecondaryActionButton(crel::tr("Open Image…"), this);
  open->setObjectName(QStringLiteral("open-image"));
  open->setSymbol(QStringLiteral("photo"));
  buttons->addWidget(capture);
  buttons->addWidget(open);
  buttons->addStretch();
  column->addLayout(buttons);
  connect(capture, &QAbstractButton::clicked, this, [run = actions.capture] { run ? run() : void(); });
  connect(open, &QAbstractButton::clicked, this, [run = actions.openImage] { run ? run() : void(); });
  column->addWidget(divider(this));

  // The saved-images folder.
  QVBoxLayout *folder = section(column, 10);
  auto *folderRow = new QHBoxLayout;
  folderRow->setSpacing(6);
  folderRow->addWidget(ShellText::symbol(QStringLiteral("folder"), 13, false, this));
  folderRow->addWidget(heading(crel::tr("Saved images"), this));
  folderRow->addStretch();
  auto *openFolder = new SecondaryActionButton(crel::tr("Open Folder"), this);
  openFolder->setObjectName(QStringLiteral("open-folder"));
  openFolder->setAccessibleName(crel::tr("Open saved images folder in the file manager"));
  connect(openFolder, &QAbstractButton::clicked, this, [run = actions.openSavedImagesFolder] { run ? run() : void(); });
  folderRow->addWidget(openFolder);
  folder->addLayout(folderRow);
  QLabel *path = ShellText::label(CrelStorage::defaultDirectoryDisplayPath(), this, {12, QFont::Normal, false, true});
  path->setObjectName(QStringLiteral("saved-images-path"));
  path->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  FocusRing::attach(*path, Qt::StrongFocus, [path] {
    const double text = QFontMetricsF(path->font()).horizontalAdvance(path->text());
    return FocusRing::Shape{QRectF(0, 0, std::min(text, double(path->width())), path->height()).adjusted(-3, 0, 3, 0),
                            4.0};
  });
  folder->addWidget(path);
  folder->addWidget(caption(crel::tr("Captures and imported images save here automatically. Your edits update the "
                                     "saved PNG. Open Image always starts in this folder."),
                            this));
  column->addWidget(divider(this));

  // The capture shortcut.
  auto *shortcutRow = new QHBoxLayout;
  auto *shortcutTexts = new QVBoxLayout;
  shortcutTexts->setSpacing(4);
  shortcutTexts->addWidget(heading(crel::tr("Capture shortcut"), this));
  shortcutStatus_ = caption({}, this);
  shortcutStatus_->setObjectName(QStringLiteral("shortcut-status"));
  shortcutTexts->addWidget(shortcutStatus_);
  shortcutRow->addLayout(shortcutTexts, 1);
  shortcut_ = new ShortcutControl(shortcuts, this);
  shortcutRow->addWidget(shortcut_);
  column->addLayout(shortcutRow);
  // Where only the desktop binds keys: the command to bind, and sway's line for it.
  QVBoxLayout *binding = section(column, 8);
  command_ = new CommandText(this);
  command_->setObjectName(QStringLiteral("capture-command"));
  binding->addWidget(command_);
  swayHeading_ = caption(crel::tr("In sway's config:"), this);
  binding->addWidget(swayHeading_);
  swayCommand_ = new CommandText(this);
  swayCommand_->setObjectName(QStringLiteral("sway-binding"));
  binding->addWidget(swayCommand_);
  message_ = caption(crel::tr("Click the shortcut to record your own. Include Ctrl or Super."), this);
  message_->setObjectName(QStringLiteral("shortcut-message"));
  column->addWidget(message_);
  connect(shortcut_, &ShortcutControl::messageChanged, message_, &QLabel::setText);
  connect(&shortcuts_, &ShortcutManager::changed, this, &WelcomeView::refreshShortcut);
  column->addWidget(divider(this));

  // Launch at login.
  QVBoxLayout *loginSection = section(column, 8);
  loginSwitch_ = new BrandSwitch(crel::tr("Launch at login"), this);
  loginSwitch_->setObjectName(QStringLiteral("launch-at-login"));
  loginSection->addWidget(loginSwitch_);
  loginDetail_ = caption({}, this);
  loginDetail_->setObjectName(QStringLiteral("launch-at-login-detail"));
  loginSection->addWidget(loginDetail_);
  loginSettings_ = new BrandTextButton(crel::tr("Open autostart settings"), this);
  loginSection->addWidget(loginSettings_, 0, Qt::AlignLeft);
  // Clicks only: the model's own changes must not call it back.
  connect(loginSwitch_, &QAbstractButton::clicked, this, [this](bool on) {
    login_.setEnabled(on);
    refreshLogin();
  });
  connect(loginSettings_, &QAbstractButton::clicked, this, [this] { login_.openSettings(); });
  connect(&login_, &LaunchAtLogin::changed, this, &WelcomeView::refreshLogin);
  column->addWidget(divider(this));

  // The default annotation style.
  const PickerSection styleSection =
      pickerSection(column, crel::tr("Annotation style"), styles, crel::tr("Default annotation style"),
                    QStringLiteral("default-annotation-style"), this);
  style_ = styleSection.picker;
  styleDescription_ = caption({}, this);
  styleDescription_->setObjectName(QStringLiteral("style-description"));
  styleSection.layout->addWidget(styleDescription_);
  styleSection.layout->addWidget(caption(
      crel::tr("Arrows start at %1 px; lines and shapes at %2 px. Each tool remembers its weight within a crel.")
          .arg(32)
          .arg(12),
      this));
  connect(style_, &ChromeSegmented::selected, this, [this](int index) { annotation_.setStyle(styles[size_t(index)]); });
  connect(&annotation_, &AnnotationPreferences::changed, this, &WelcomeView::refreshStyle);
  column->addWidget(divider(this));

  // The default editor size.
  const PickerSection sizeSection =
      pickerSection(column, crel::tr("Editor size"), sizes, crel::tr("Default editor size"),
                    QStringLiteral("default-editor-size"), this);
  size_ = sizeSection.picker;
  sizeSection.layout->addWidget(
      caption(crel::tr("Right-click the image to change this too. Your choice is saved for new "
                       "crels. Maximized and full-screen windows keep their size."),
              this));
  connect(size_, &ChromeSegmented::selected, this, [this](int index) { sizes_.setSize(sizes[size_t(index)]); });
  connect(&sizes_, &EditorSizePreferences::changed, this, &WelcomeView::refreshSize);
  column->addWidget(divider(this));

  if (QWidget *updates = actions.updatesSection ? actions.updatesSection(this) : nullptr) {
    updates_ = updates;
    column->addWidget(updates);
    column->addWidget(divider(this));
  }

  // Privacy.
  auto *privacy = new QHBoxLayout;
  privacy->setSpacing(10);
  privacy->addWidget(ShellText::symbol(QStringLiteral("lock.shield"), 11, true, this), 0, Qt::AlignTop);
  privacy_ = caption({}, this);
  privacy_->setObjectName(QStringLiteral("privacy"));
  privacy->addWidget(privacy_, 1, Qt::AlignTop);
  column->addLayout(privacy);

  setTrayMissing(false);
  refreshShortcut();
  refreshLogin();
  refreshStyle();
  refreshSize();
  // Every control in layout order with Tab, each showing where the focus
  // is. The view itself holds the focus first, so nothing is pressed by a
  // Space before the first Tab.
  FocusRing::enableKeyboardFocus(*this);
  setFocusPolicy(Qt::ClickFocus);
}

void WelcomeView::showEvent(QShowEvent *event) {
  if (!window()->focusWidget())
    setFocus(Qt::OtherFocusReason);
  QWidget::showEvent(event);
}

void WelcomeView::refreshShortcut() {
  // Nothing can be recorded where only the desktop binds keys.
  const bool desktop = shortcuts_.problem() == ShortcutManager::Problem::desktopBinding;
  message_->setVisible(!desktop);
  // Not while the desktop has yet to answer: it may still be asking the user.
  const bool works = shortcuts_.problem() == ShortcutManager::Problem::none && !shortcuts_.awaitingDesktop();
  // The desktop may bind other keys than the recorder holds: its own are named.
  const QString keys = shortcuts_.statusLabel();
  const QString anywhere = keys == shortcuts_.current().label()
                               ? crel::tr("Available anywhere on this computer")
                               : crel::tr("%1 — available anywhere on this computer").arg(keys);
  shortcutStatus_->setText(works ? anywhere : desktop ? ShortcutManager::bindingSentence() : shortcuts_.statusLabel());
  command_->setCommand(desktop ? shortcuts_.captureCommand() : QString());
  command_->setVisible(desktop);
  const QString sway = desktop ? shortcuts_.swayBinding() : QString();
  swayCommand_->setCommand(sway);
  swayCommand_->setVisible(!sway.isEmpty());
  swayHeading_->setVisible(!sway.isEmpty());
}

QString WelcomeView::message() const { return message_->text(); }

void WelcomeView::setTrayMissing(bool missing) {
  trayMissing_ = missing;
  privacy_->setText(missing ? crel::tr("Your screenshots stay on this computer. Close this window and %1 keeps "
                                       "running: capture with your shortcut, or start %1 again to come back here.")
                                  .arg(AppIdentity::name())
                            : crel::tr("Your screenshots stay on this computer. Close this window and the app stays "
                                       "in your system tray."));
  shortcut_->setTrayMissing(missing);
  if (auto *updates = qobject_cast<UpdateSettingsView *>(updates_))
    updates->setTrayMissing(missing);
  refreshLogin();
}

void WelcomeView::refreshLogin() {
  loginSwitch_->setChecked(login_.isToggleOn());
  loginSwitch_->setEnabled(login_.canRegister());
  loginDetail_->setText(login_.detail(trayMissing_));
  loginSettings_->setVisible(login_.offersOpenSettings());
}

void WelcomeView::refreshStyle() {
  const auto at = std::find(styles.begin(), styles.end(), annotation_.style());
  style_->setSelection(int(at - styles.begin()));
  styleDescription_->setText(
      crel::tr("%1. Used for new crels; change it in any editor.").arg(description(annotation_.style())));
}

void WelcomeView::refreshSize() {
  const auto at = std::find(sizes.begin(), sizes.end(), sizes_.size());
  size_->setSelection(int(at - sizes.begin()));
}

QScrollArea *WelcomeView::scrollArea(WelcomeView *view) {
  auto *scroll = new QScrollArea;
  scroll->setFrameShape(QFrame::NoFrame);
  // Tab goes from control to control and scrolls each into view.
  scroll->setFocusPolicy(Qt::NoFocus);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setAlignment(Qt::AlignHCenter);
  LightPalette::apply(scroll);
  ChromeScrollBar::apply(*scroll);
  scroll->setWidget(view);
  // The view's height follows its width: wrapped texts take the lines they need.
  scroll->setWidgetResizable(true);
  scroll->setMinimumWidth(viewWidth + scroll->verticalScrollBar()->sizeHint().width());
  return scroll;
}

} // namespace crel
