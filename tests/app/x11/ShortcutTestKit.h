#pragma once

#include "app/ShortcutManager.h"
#include "platform/shortcuts/HotKeyBackend.h"
#include "support/TestSupport.h"

#include <QProcess>

#include <memory>
#include <vector>

namespace crel::test {

// Types each xdotool key chord in turn, in one run so the server sees them in order.
void pressKeys(std::initializer_list<const char *> chords);

// Another process holding a grab of `keysym` with the X modifier mask
// `modifiers`, until release() or destruction.
class GrabElsewhere {
public:
  GrabElsewhere(quint32 keysym, quint32 modifiers);
  ~GrabElsewhere() { release(); }
  bool ready() const { return ready_; }
  void release();

private:
  QProcess process_;
  bool ready_ = false;
};

// A manager over private settings and a backend on $DISPLAY, counting the
// captures it asks for and the presses its backend saw; `registered`
// grabs the default shortcut at once.
class ShortcutRig {
public:
  enum Start { unregistered, registered };
  explicit ShortcutRig(Start start = unregistered);
  SettingsStore &settings() { return settings_.store(); }
  ShortcutManager &manager() { return *manager_; }
  HotKeyBackend &backend() { return *backend_; }
  int captures() const { return captures_; }
  const std::vector<HotKeyCombination> &presses() const { return presses_; }
  // Waits until the captures reach `count` (false on timeout), then lets
  // every event the server had already sent arrive, so a surplus shows.
  bool waitForCaptures(int count);
  // Lets every event the server had already sent arrive.
  void settle();

private:
  TemporarySettings settings_;
  HotKeyBackend *backend_;
  std::unique_ptr<ShortcutManager> manager_;
  int captures_ = 0;
  std::vector<HotKeyCombination> presses_;
};

} // namespace crel::test
