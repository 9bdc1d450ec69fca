#include "SyntheticInput.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <QString>

#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace crel::acceptance {

namespace {
constexpr int dragSteps = 8;
}

SyntheticInput::SyntheticInput(qreal devicePixelRatio, QByteArray displayName) : ratio_(devicePixelRatio) {
  connection_ = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), nullptr);
  if (xcb_connection_has_error(connection_)) {
    xcb_disconnect(connection_);
    connection_ = nullptr;
    throw std::runtime_error("No X server for synthetic input");
  }
  const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection_, &xcb_test_id);
  if (!extension || !extension->present) {
    xcb_disconnect(connection_);
    connection_ = nullptr;
    throw std::runtime_error("The X server has no XTEST extension");
  }
  root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  symbols_ = xcb_key_symbols_alloc(connection_);
}

SyntheticInput::~SyntheticInput() {
  if (symbols_)
    xcb_key_symbols_free(symbols_);
  if (connection_)
    xcb_disconnect(connection_);
}

void SyntheticInput::fake(quint8 type, quint8 detail, int x, int y) {
  xcb_test_fake_input(connection_, type, detail, XCB_CURRENT_TIME, root_, static_cast<int16_t>(x),
                      static_cast<int16_t>(y), 0);
}

// A round trip: every request before it has reached the server.
void SyntheticInput::sync() {
  std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void SyntheticInput::moveTo(QPointF point) {
  fake(XCB_MOTION_NOTIFY, 0, static_cast<int>(std::lround(point.x() * ratio_)),
       static_cast<int>(std::lround(point.y() * ratio_)));
  sync();
}

void SyntheticInput::drag(QPointF from, QPointF to, int button) {
  moveTo(from);
  fake(XCB_BUTTON_PRESS, static_cast<quint8>(button));
  for (int step = 1; step <= dragSteps; ++step)
    moveTo(from + (to - from) * (static_cast<qreal>(step) / (dragSteps + 1)));
  moveTo(to);
  fake(XCB_BUTTON_RELEASE, static_cast<quint8>(button));
  sync();
}

void SyntheticInput::click(QPointF point, int button) { drag(point, point, button); }

quint8 SyntheticInput::keycode(quint32 keysym) {
  xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols_, keysym);
  const quint8 code = codes ? codes[0] : 0;
  std::free(codes);
  if (code == 0)
    throw std::runtime_error(QStringLiteral("No key produces keysym 0x%1").arg(keysym, 0, 16).toStdString());
  return code;
}

void SyntheticInput::key(quint32 keysym, const std::vector<quint32> &modifierKeysyms) {
  std::vector<quint8> modifiers;
  for (const quint32 modifier : modifierKeysyms)
    modifiers.push_back(keycode(modifier));
  const quint8 code = keycode(keysym);
  for (const quint8 modifier : modifiers)
    fake(XCB_KEY_PRESS, modifier);
  fake(XCB_KEY_PRESS, code);
  fake(XCB_KEY_RELEASE, code);
  for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
    fake(XCB_KEY_RELEASE, *it);
  sync();
}

} // namespace crel::acceptance
