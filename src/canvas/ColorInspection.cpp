#include "ColorInspection.h"

#include "platform/clipboard/Pasteboard.h"

namespace crel {

ColorInspection::ColorInspection(Pasteboard *pasteboard, QObject *parent) : QObject(parent), pasteboard_(pasteboard) {
  confirmation_.setSingleShot(true);
  confirmation_.setInterval(confirmationMs);
  connect(&confirmation_, &QTimer::timeout, this, [this] {
    copiedHex_.reset();
    Q_EMIT copiedHexChanged();
  });
}

void ColorInspection::show(const std::optional<PixelColor> &sample) {
  if (sample == sample_)
    return;
  sample_ = sample;
  Q_EMIT sampleChanged();
}

bool ColorInspection::copy(const PixelColor &color) {
  const QString hex = color.hex();
  Pasteboard &board = pasteboard_ ? *pasteboard_ : Pasteboard::general();
  if (!board.replaceWithText(hex))
    return false;
  show(color);
  copiedHex_ = hex;
  Q_EMIT copiedHexChanged();
  confirmation_.start();
  return true;
}

} // namespace crel
