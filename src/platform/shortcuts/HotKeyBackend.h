#pragma once

#include <QByteArray>
#include <QObject>

#include <map>
#include <memory>
#include <vector>

struct xcb_connection_t;
class QSocketNotifier;

namespace crel {

// A key combination as X sees it: the key, and the modifier bits that must
// be held (Shift 0x1, Control 0x4, Mod1/Alt 0x8, Mod4/Super 0x40). The key is
// a physical one when `key` names it (the keyboard's XKB name, "AE02"),
// whatever the layout makes it type; otherwise every key that carries
// `keysym` at level 0. Lock keys are not part of it.
struct HotKeyCombination {
  quint32 keysym = 0;
  quint32 modifiers = 0;
  QByteArray key;
  friend bool operator==(const HotKeyCombination &, const HotKeyCombination &) = default;
};

// System-wide key grabs on the X root window, over a connection of its own so
// that another backend conflicts with it exactly like another application,
// and closing it frees its grabs. A combination is grabbed on its named key,
// or on every key that carries its keysym at level 0, with and without Caps
// Lock and Num Lock, and again on the new keys after every keymap change.
// Grabs are counted: holding a combination twice and releasing it once keeps
// it, so moving between combinations that share keys never drops a live grab.
// Main thread only.
class HotKeyBackend : public QObject {
  Q_OBJECT
public:
  enum class GrabResult { grabbed, taken, notOnKeyboard, noDisplay };

  // An empty name means $DISPLAY; without one (a Wayland-only session) the
  // backend has no connection and every grab answers noDisplay.
  explicit HotKeyBackend(QByteArray displayName = {}, QObject *parent = nullptr);
  ~HotKeyBackend() override;
  HotKeyBackend(const HotKeyBackend &) = delete;
  HotKeyBackend &operator=(const HotKeyBackend &) = delete;

  bool isConnected() const;
  // Takes every grab of `combination` or, when any is refused, none.
  GrabResult grab(const HotKeyCombination &combination);
  // Gives back one hold of `combination`; its keys are released with the last.
  void ungrab(const HotKeyCombination &combination);
  // The keysym at level 0 of a hardware key code; 0 when the key has none.
  quint32 levelZeroKeysym(quint32 keycode) const;
  // The keyboard's name of a hardware key code ("AE02") and back; empty or 0
  // when the keymap has no such key.
  QByteArray keyName(quint32 keycode) const;
  quint32 keycodeOf(const QByteArray &keyName) const;
  // Waits until the server has handled everything sent so far, then handles
  // the events that arrived before its answer.
  void sync();

Q_SIGNALS:
  // A held combination was pressed; emitted from the event loop after the
  // event handler has returned, once per press (auto-repeat presses again).
  void activated(crel::HotKeyCombination combination);
  // After a keyboard mapping change the combination could not be grabbed
  // again (another client took it, or the keysym left the keyboard).
  void grabLost(crel::HotKeyCombination combination);
  // The keymap changed and the held combinations were grabbed again where
  // they could be.
  void keymapChanged();
  // The connection to the server broke (the server is gone); emitted once.
  void connectionLost();

private:
  struct GrabKey {
    quint8 keycode;
    quint16 modifiers;
    friend auto operator<=>(const GrabKey &, const GrabKey &) = default;
  };
  struct Hold {
    HotKeyCombination combination;
    std::vector<GrabKey> keys;
  };

  void loadKeyboardMapping();
  std::vector<GrabKey> grabKeysFor(const HotKeyCombination &combination) const;
  GrabResult take(const std::vector<GrabKey> &keys);
  void release(const std::vector<GrabKey> &keys);
  void readEvents();
  void handleEvent(const void *event);
  void remap();
  void scheduleQueuedEvents();
  void roundTrip();

  QByteArray display_;
  xcb_connection_t *connection_ = nullptr;
  quint32 root_ = 0;
  std::unique_ptr<QSocketNotifier> notifier_;
  quint8 minKeycode_ = 0;
  quint8 keysymsPerKeycode_ = 0;
  std::vector<quint32> keysyms_;
  std::map<QByteArray, quint8> keycodesByName_;
  quint16 numLockMask_ = 0;
  quint16 scrollLockMask_ = 0;
  std::vector<Hold> holds_;
  std::map<GrabKey, int> grabCounts_;
};

} // namespace crel
