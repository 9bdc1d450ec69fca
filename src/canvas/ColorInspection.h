#pragma once

#include "document/PixelColor.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

namespace crel {

class Pasteboard;

// The colour under the pointer and the confirmation of the last copy,
// shared by the canvas (which samples) and the readout (which shows it).
class ColorInspection : public QObject {
  Q_OBJECT
public:
  static constexpr int confirmationMs = 1400;

  // Copies go to `pasteboard`, or to Pasteboard::general() as it is at the
  // time of each copy when none is given.
  explicit ColorInspection(Pasteboard *pasteboard = nullptr, QObject *parent = nullptr);

  const std::optional<PixelColor> &sample() const { return sample_; }
  const std::optional<QString> &copiedHex() const { return copiedHex_; }

  // Publishes only a changed value; none hides the readout.
  void show(const std::optional<PixelColor> &sample);
  // Puts the colour's hex text on the pasteboard in one step (what was there
  // stays when the pasteboard refuses, and false is returned); then shows the
  // colour and "Copied" for confirmationMs, restarted by every copy.
  bool copy(const PixelColor &color);

  // Tests shorten the confirmation.
  void setConfirmationInterval(int ms) { confirmation_.setInterval(ms); }

Q_SIGNALS:
  void sampleChanged();
  void copiedHexChanged();

private:
  Pasteboard *pasteboard_;
  std::optional<PixelColor> sample_;
  std::optional<QString> copiedHex_;
  QTimer confirmation_;
};

} // namespace crel
