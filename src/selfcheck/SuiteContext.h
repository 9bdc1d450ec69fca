#pragma once

#include <QDir>
#include <QImage>

#include <memory>

namespace crel {
class CrelDocument;
class ShortcutManager;
} // namespace crel

namespace crel {
class SettingsStore;
}

namespace crel::NativeTests {

class IsolatedSettings;

// What the driver hands every entry of the suite table: the run's temporary
// root, its fixture bitmap, and the driver's own state that lives from its
// first checks to its closing one.
class SuiteContext {
public:
  SuiteContext(const QDir &root, const QImage &fixture);
  ~SuiteContext();
  SuiteContext(const SuiteContext &) = delete;
  SuiteContext &operator=(const SuiteContext &) = delete;

  const QDir &root() const { return root_; }
  // A new image of the fixture's pixels: no suite shares another's copy.
  QImage image() const;

  // The document the driver's checks work on; made from the fixture and the
  // shared annotation preferences on first use.
  CrelDocument &driverDocument();

  // The settings the hot-key checks store their shortcut in, and the manager
  // that holds it from those checks to the closing synthetic press.
  SettingsStore &shortcutDefaults();
  void keepShortcutManager(std::unique_ptr<ShortcutManager> manager);
  ShortcutManager *shortcutManager() const { return shortcutManager_.get(); }

private:
  QDir root_;
  QImage fixture_;
  std::unique_ptr<CrelDocument> driverDocument_;
  std::unique_ptr<IsolatedSettings> shortcutDefaults_;
  std::unique_ptr<ShortcutManager> shortcutManager_;
};

} // namespace crel::NativeTests
