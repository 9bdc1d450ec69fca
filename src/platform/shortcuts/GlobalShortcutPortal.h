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
  using QObject::QObject;

  // The portal on the session bus, or none when the bus does not offer it.
  static std::unique_ptr<GlobalShortcutPortal> onSessionBus();

  // Asks the desktop to bind the shortcut `id`, suggesting `trigger` in the
  // portal's notation ("CTRL+SHIFT+2"); a later call replaces the binding.
  // Answers with bound() or failed(), then follows what the desktop does
  // with the binding: bound() and unbound() as it binds it or lets it go.
  virtual void bind(const QString &id, const QString &description, const QString &trigger) = 0;

Q_SIGNALS:
  // The desktop bound the shortcut; `trigger` is its own description of the
  // keys (empty when it gave none).
  void bound(const QString &trigger);
  // The desktop declined to bind it.
  void failed();
  // The desktop no longer binds it.
  void unbound();
  void activated(const QString &id);
};

} // namespace crel
