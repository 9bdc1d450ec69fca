#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace crel {

// The desktop's own global shortcuts on a Wayland session, through the
// GlobalShortcuts desktop portal: the desktop owns the key and tells us when
// it is pressed, in every window. A fake stands in for it in tests.
class GlobalShortcutPortal : public QObject {
  Q_OBJECT
public:
  // `version`: the portal's version of the interface, as it says.
  explicit GlobalShortcutPortal(uint version = 0) : version_(version) {}

  // The portal on the session bus, or none when the bus does not offer it.
  static std::unique_ptr<GlobalShortcutPortal> onSessionBus();

  uint version() const { return version_; }

  // Asks the desktop to bind the shortcut `id`, suggesting `trigger` in the
  // portal's notation ("CTRL+SHIFT+2"); a later call replaces the binding.
  // Answers with bound(), boundNothing() or failed(), then follows what the
  // desktop does with the binding: bound() and unbound() as it binds it or
  // lets it go.
  virtual void bind(const QString &id, const QString &description, const QString &trigger) = 0;
  // Follows the desktop's shortcut `id` without asking it to bind anything,
  // which on some desktops brings up their settings: answers with bound()
  // when the desktop binds it already, else failed(), then follows as bind().
  virtual void follow(const QString &id) = 0;

Q_SIGNALS:
  // The desktop bound the shortcut; `trigger` is its own description of the
  // keys (empty when it gave none).
  void bound(const QString &trigger);
  // The desktop answered the binding with success and bound nothing: it put
  // no question to the user and will answer the same way again.
  void boundNothing();
  // The desktop declined to bind it, or did not answer.
  void failed();
  // The desktop no longer binds it.
  void unbound();
  void activated(const QString &id);

private:
  uint version_;
};

} // namespace crel
