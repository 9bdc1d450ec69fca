#include "HotKeyBackend.h"

#include <QLoggingCategory>
#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

Q_LOGGING_CATEGORY(lcHotKey, "crel.hotkey")

namespace crel {

namespace {

template <typename T> struct FreeDeleter {
  void operator()(T *p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

constexpr quint32 kNumLockKeysym = 0xff7f;
constexpr quint32 kScrollLockKeysym = 0xff14;
// Shift, Lock, Control, Mod1 … Mod5: the state bits that are modifiers.
constexpr quint16 kModifierBits = 0xff;

// Which backend of this process holds each grab on each display. Backends
// have their own connections, so the server already refuses a second grab;
// the registry answers the same without a round trip and keeps that true for
// backends that might one day share a connection.
struct RegistryKey {
  std::string display;
  quint8 keycode;
  quint16 modifiers;
  friend auto operator<=>(const RegistryKey &, const RegistryKey &) = default;
};
std::map<RegistryKey, const void *> &registry() {
  static std::map<RegistryKey, const void *> held;
  return held;
}

// The names XKB gives the keys of the core keyboard, read over a connection
// of its own: a connection that turned XKB on no longer hears of a new
// keymap through the core MappingNotify the backend listens for.
std::map<QByteArray, quint8> keyNames(const QByteArray &display) {
  std::map<QByteArray, quint8> names;
  xcb_connection_t *connection = xcb_connect(display.constData(), nullptr);
  xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
  if (!xcb_connection_has_error(connection) && context &&
      xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                  XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)) {
    const int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
    if (xkb_keymap *keymap =
            device < 0 ? nullptr
                       : xkb_x11_keymap_new_from_device(context, connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS)) {
      for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap); code <= xkb_keymap_max_keycode(keymap); ++code)
        if (const char *name = xkb_keymap_key_get_name(keymap, code); name && *name && code <= 0xff)
          names.emplace(QByteArray(name), quint8(code));
      xkb_keymap_unref(keymap);
    }
  }
  xkb_context_unref(context);
  xcb_disconnect(connection);
  return names;
}

} // namespace

HotKeyBackend::HotKeyBackend(QByteArray displayName, QObject *parent) : QObject(parent) {
  display_ = displayName.isEmpty() ? qgetenv("DISPLAY") : std::move(displayName);
  if (display_.isEmpty())
    return;
  int screenNumber = 0;
  connection_ = xcb_connect(display_.constData(), &screenNumber);
  if (xcb_connection_has_error(connection_)) {
    xcb_disconnect(connection_);
    connection_ = nullptr;
    return;
  }
  auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screenNumber && it.rem; ++i)
    xcb_screen_next(&it);
  root_ = it.rem ? it.data->root : 0;
  loadKeyboardMapping();
  notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &HotKeyBackend::readEvents);
}

HotKeyBackend::~HotKeyBackend() {
  for (auto it = registry().begin(); it != registry().end();)
    it = it->second == this ? registry().erase(it) : std::next(it);
  notifier_.reset();
  if (!connection_)
    return;
  // Closing the connection frees the grabs too, but only once the server
  // notices; releasing them first lets a new owner grab them at once.
  std::vector<GrabKey> held;
  for (const auto &[key, count] : grabCounts_)
    held.push_back(key);
  grabCounts_.clear();
  for (const GrabKey &key : held)
    xcb_ungrab_key(connection_, key.keycode, root_, key.modifiers);
  if (!held.empty())
    roundTrip();
  xcb_disconnect(connection_);
}

bool HotKeyBackend::isConnected() const { return connection_ && !xcb_connection_has_error(connection_); }

void HotKeyBackend::loadKeyboardMapping() {
  const xcb_setup_t *setup = xcb_get_setup(connection_);
  minKeycode_ = setup->min_keycode;
  const quint8 count = quint8(setup->max_keycode - setup->min_keycode + 1);
  XcbReply<xcb_get_keyboard_mapping_reply_t> mapping(
      xcb_get_keyboard_mapping_reply(connection_, xcb_get_keyboard_mapping(connection_, minKeycode_, count), nullptr));
  keysyms_.clear();
  keysymsPerKeycode_ = 0;
  if (mapping) {
    keysymsPerKeycode_ = mapping->keysyms_per_keycode;
    const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    keysyms_.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(mapping.get()));
  }
  keycodesByName_ = keyNames(display_);

  // The modifier bit each lock key sets varies between keymaps.
  auto maskOf = [this](const xcb_keycode_t *codes, int perModifier, quint32 keysym) -> quint16 {
    for (int modifier = 0; modifier < 8; ++modifier)
      for (int i = 0; i < perModifier; ++i)
        if (codes[modifier * perModifier + i] && levelZeroKeysym(codes[modifier * perModifier + i]) == keysym)
          return quint16(1u << modifier);
    return 0;
  };
  XcbReply<xcb_get_modifier_mapping_reply_t> modifiers(
      xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr));
  numLockMask_ = scrollLockMask_ = 0;
  if (modifiers) {
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    numLockMask_ = maskOf(codes, modifiers->keycodes_per_modifier, kNumLockKeysym);
    scrollLockMask_ = maskOf(codes, modifiers->keycodes_per_modifier, kScrollLockKeysym);
  }
}

quint32 HotKeyBackend::levelZeroKeysym(quint32 keycode) const {
  if (keysymsPerKeycode_ == 0 || keycode < minKeycode_)
    return 0;
  const size_t index = size_t(keycode - minKeycode_) * keysymsPerKeycode_;
  return index < keysyms_.size() ? keysyms_[index] : 0;
}

QByteArray HotKeyBackend::keyName(quint32 keycode) const {
  for (const auto &[name, code] : keycodesByName_)
    if (code == keycode)
      return name;
  return {};
}

quint32 HotKeyBackend::keycodeOf(const QByteArray &name) const {
  const auto found = keycodesByName_.find(name);
  return found == keycodesByName_.end() ? 0 : found->second;
}

std::vector<HotKeyBackend::GrabKey> HotKeyBackend::grabKeysFor(const HotKeyCombination &combination) const {
  std::vector<quint16> variants{0, XCB_MOD_MASK_LOCK};
  if (numLockMask_ && numLockMask_ != XCB_MOD_MASK_LOCK)
    variants.insert(variants.end(), {numLockMask_, quint16(numLockMask_ | XCB_MOD_MASK_LOCK)});
  std::vector<quint8> keycodes;
  if (!combination.key.isEmpty()) {
    if (const quint32 keycode = keycodeOf(combination.key))
      keycodes.push_back(quint8(keycode));
  } else if (combination.keysym != 0 && keysymsPerKeycode_ != 0) {
    for (size_t i = 0; i < keysyms_.size(); i += keysymsPerKeycode_)
      if (keysyms_[i] == combination.keysym)
        keycodes.push_back(quint8(minKeycode_ + i / keysymsPerKeycode_));
  }
  std::vector<GrabKey> keys;
  for (quint8 keycode : keycodes)
    for (quint16 variant : variants)
      keys.push_back({keycode, quint16((combination.modifiers & kModifierBits) | variant)});
  return keys;
}

HotKeyBackend::GrabResult HotKeyBackend::grab(const HotKeyCombination &combination) {
  if (!isConnected())
    return GrabResult::noDisplay;
  std::vector<GrabKey> keys = grabKeysFor(combination);
  if (keys.empty())
    return GrabResult::notOnKeyboard;
  const GrabResult result = take(keys);
  if (result == GrabResult::grabbed)
    holds_.push_back({combination, std::move(keys)});
  return result;
}

HotKeyBackend::GrabResult HotKeyBackend::take(const std::vector<GrabKey> &keys) {
  std::vector<GrabKey> fresh;
  for (const GrabKey &key : keys)
    if (!grabCounts_.contains(key) && std::find(fresh.begin(), fresh.end(), key) == fresh.end())
      fresh.push_back(key);
  for (const GrabKey &key : fresh) {
    auto owner = registry().find({display_.toStdString(), key.keycode, key.modifiers});
    if (owner != registry().end() && owner->second != this)
      return GrabResult::taken;
  }

  // Send every grab, then collect the answers: one round trip, not one per key.
  std::vector<xcb_void_cookie_t> cookies;
  for (const GrabKey &key : fresh)
    cookies.push_back(xcb_grab_key_checked(connection_, 1, root_, key.modifiers, key.keycode, XCB_GRAB_MODE_ASYNC,
                                           XCB_GRAB_MODE_ASYNC));
  std::vector<GrabKey> taken;
  bool refused = false;
  for (size_t i = 0; i < cookies.size(); ++i) {
    if (auto *error = xcb_request_check(connection_, cookies[i])) {
      refused = true;
      std::free(error);
    } else {
      taken.push_back(fresh[i]);
    }
  }
  if (refused || !isConnected()) {
    for (const GrabKey &key : taken)
      xcb_ungrab_key(connection_, key.keycode, root_, key.modifiers);
    xcb_flush(connection_);
    scheduleQueuedEvents();
    return GrabResult::taken;
  }
  for (const GrabKey &key : keys) {
    ++grabCounts_[key];
    registry()[{display_.toStdString(), key.keycode, key.modifiers}] = this;
  }
  scheduleQueuedEvents();
  return GrabResult::grabbed;
}

void HotKeyBackend::ungrab(const HotKeyCombination &combination) {
  auto hold = std::find_if(holds_.begin(), holds_.end(), [&](const Hold &h) { return h.combination == combination; });
  if (hold == holds_.end())
    return;
  const std::vector<GrabKey> keys = std::move(hold->keys);
  holds_.erase(hold);
  release(keys);
}

void HotKeyBackend::release(const std::vector<GrabKey> &keys) {
  bool released = false;
  for (const GrabKey &key : keys) {
    auto count = grabCounts_.find(key);
    if (count == grabCounts_.end() || --count->second > 0)
      continue;
    grabCounts_.erase(count);
    registry().erase({display_.toStdString(), key.keycode, key.modifiers});
    if (isConnected())
      xcb_ungrab_key(connection_, key.keycode, root_, key.modifiers);
    released = true;
  }
  // Answered means done: another client (or backend) can take the keys now.
  if (released && isConnected()) {
    roundTrip();
    scheduleQueuedEvents();
  }
}

void HotKeyBackend::roundTrip() {
  std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void HotKeyBackend::sync() {
  if (!isConnected())
    return;
  roundTrip();
  readEvents();
}

// Replies read by a synchronous call can pull events into xcb's queue without
// the socket becoming readable again; look at them from the event loop.
void HotKeyBackend::scheduleQueuedEvents() {
  QMetaObject::invokeMethod(this, &HotKeyBackend::readEvents, Qt::QueuedConnection);
}

void HotKeyBackend::readEvents() {
  if (!connection_)
    return;
  while (xcb_generic_event_t *event = xcb_poll_for_event(connection_)) {
    handleEvent(event);
    std::free(event);
  }
  if (xcb_connection_has_error(connection_) && notifier_) {
    qCWarning(lcHotKey) << "lost the X connection; the capture shortcut no longer works";
    notifier_->setEnabled(false);
    Q_EMIT connectionLost();
  }
}

void HotKeyBackend::handleEvent(const void *raw) {
  const auto *event = static_cast<const xcb_generic_event_t *>(raw);
  switch (event->response_type & 0x7f) {
  case XCB_KEY_PRESS: {
    const auto *press = static_cast<const xcb_key_press_event_t *>(raw);
    const quint16 ignored = XCB_MOD_MASK_LOCK | numLockMask_ | scrollLockMask_;
    const quint16 held = press->state & kModifierBits & ~ignored;
    for (const Hold &hold : holds_) {
      const bool match = std::any_of(hold.keys.begin(), hold.keys.end(), [&](const GrabKey &key) {
        return key.keycode == press->detail && (key.modifiers & ~ignored) == held;
      });
      if (!match)
        continue;
      // Delivered from the event loop, never inside this handler.
      QMetaObject::invokeMethod(
          this, [this, combination = hold.combination] { Q_EMIT activated(combination); }, Qt::QueuedConnection);
      break;
    }
    break;
  }
  case XCB_MAPPING_NOTIFY: {
    const auto *mapping = static_cast<const xcb_mapping_notify_event_t *>(raw);
    if (mapping->request == XCB_MAPPING_KEYBOARD || mapping->request == XCB_MAPPING_MODIFIER)
      QMetaObject::invokeMethod(this, &HotKeyBackend::remap, Qt::QueuedConnection);
    break;
  }
  default: break;
  }
}

// The keys (or lock bits) behind the held keysyms moved: give back every
// grab and take the new ones.
void HotKeyBackend::remap() {
  if (!isConnected())
    return;
  loadKeyboardMapping();
  std::vector<Hold> holds = std::move(holds_);
  holds_.clear();
  for (const Hold &hold : holds)
    release(hold.keys);
  for (const Hold &hold : holds) {
    if (grab(hold.combination) != GrabResult::grabbed) {
      qCWarning(lcHotKey) << "could not grab the shortcut again after a keyboard change";
      Q_EMIT grabLost(hold.combination);
    }
  }
  Q_EMIT keymapChanged();
}

} // namespace crel
