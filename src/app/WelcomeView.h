#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QScrollArea;

namespace crel {

class AnnotationPreferences;
class BrandSwitch;
class BrandTextButton;
class ChromeSegmented;
class CommandText;
class EditorSizePreferences;
class LaunchAtLogin;
class ShortcutControl;
class ShortcutManager;

// The welcome screen, About window and settings in one: icon, name and
// slogan, the two main actions, then the saved-images folder, the capture
// shortcut, launch at login, the default annotation style and editor size,
// and the privacy note. Every setting reads and writes its model directly.
class WelcomeView : public QWidget {
  Q_OBJECT
public:
  static constexpr int viewWidth = 460, padding = 32, spacing = 20;

  struct Actions {
    std::function<void()> capture;
    std::function<void()> openImage;
    std::function<void()> openSavedImagesFolder;
    // Builds the update section; none when empty or when it builds nothing.
    std::function<QWidget *(QWidget *parent)> updatesSection;
  };
  WelcomeView(ShortcutManager &shortcuts, LaunchAtLogin &login, AnnotationPreferences &annotation,
              EditorSizePreferences &sizes, Actions actions, QWidget *parent = nullptr);

  // The view in a vertical scroll area as wide as the view.
  static QScrollArea *scrollArea(WelcomeView *view);

  QString message() const;
  // The desktop has no tray to hold the status item: the texts say how to
  // reach the app instead of pointing there.
  void setTrayMissing(bool missing);

protected:
  void showEvent(QShowEvent *event) override;

private:
  void refreshShortcut();
  void refreshLogin();
  void refreshStyle();
  void refreshSize();

  ShortcutManager &shortcuts_;
  LaunchAtLogin &login_;
  AnnotationPreferences &annotation_;
  EditorSizePreferences &sizes_;
  ShortcutControl *shortcut_ = nullptr;
  QLabel *shortcutStatus_ = nullptr;
  CommandText *command_ = nullptr;
  QLabel *swayHeading_ = nullptr;
  CommandText *swayCommand_ = nullptr;
  QLabel *message_ = nullptr;
  BrandSwitch *loginSwitch_ = nullptr;
  QLabel *loginDetail_ = nullptr;
  BrandTextButton *loginSettings_ = nullptr;
  ChromeSegmented *style_ = nullptr;
  QLabel *styleDescription_ = nullptr;
  ChromeSegmented *size_ = nullptr;
  QLabel *privacy_ = nullptr;
  QWidget *updates_ = nullptr;
  bool trayMissing_ = false;
};

} // namespace crel
