#pragma once

#include <QByteArray>
#include <QPointF>

#include <vector>

struct xcb_connection_t;
struct _XCBKeySymbols;

namespace crel::acceptance {

// Real server-delivered input through XTEST, so stacking, grabs and the
// device pixel mapping are exercised as a person's input would. Points are
// logical global coordinates; the ratio maps them to device pixels.
class SyntheticInput {
public:
  explicit SyntheticInput(qreal devicePixelRatio, QByteArray displayName = {});
  ~SyntheticInput();
  SyntheticInput(const SyntheticInput &) = delete;
  SyntheticInput &operator=(const SyntheticInput &) = delete;

  void moveTo(QPointF point);
  // Press at `from`, eight intermediate motions, release at `to`.
  void drag(QPointF from, QPointF to, int button = 1);
  void click(QPointF point, int button = 1);
  // Presses the modifiers' keys first and releases them last; keysyms.
  void key(quint32 keysym, const std::vector<quint32> &modifierKeysyms = {});

private:
  void fake(quint8 type, quint8 detail, int x = 0, int y = 0);
  quint8 keycode(quint32 keysym);
  void sync();

  qreal ratio_;
  xcb_connection_t *connection_ = nullptr;
  quint32 root_ = 0;
  _XCBKeySymbols *symbols_ = nullptr;
};

} // namespace crel::acceptance
