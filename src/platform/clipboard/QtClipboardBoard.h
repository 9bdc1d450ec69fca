#pragma once

#include "ClipboardBoard.h"

#include <memory>

namespace crel {

class BridgeFetch;
class X11SelectionReader;

// The clipboard through QClipboard: the X11 one under xcb, where another
// program's is read by Crel's own reader instead. Where a compositor bridges
// it to Wayland (`bridged`), a copy counts as placed only once the bridge
// fetched it, and is given up when it did not. An owner whose answer a read
// cut at the cap is let finish it within `drain`.
class QtClipboardBoard final : public ClipboardBoard {
public:
  QtClipboardBoard(bool bridged, DrainBounds drain);
  ~QtClipboardBoard() override;
  bool publish(const QMap<QString, QByteArray> &formats, const std::optional<QString> &text,
               const QDeadlineTimer &deadline) override;
  void whenPlaced(QObject *context, std::function<void(bool)> done) override;
  QStringList types(const QDeadlineTimer &deadline) override;
  ClipboardRead read(const QString &mimeType, const QDeadlineTimer &deadline, qsizetype cap) override;
  // See X11SelectionReader::finish.
  void finish(std::chrono::steady_clock::time_point start);

private:
  X11SelectionReader *otherProgramsClipboard();

  const bool bridged_;
  const DrainBounds drain_;
  std::unique_ptr<BridgeFetch> bridgeFetch_;
  std::unique_ptr<X11SelectionReader> reader_;
};

} // namespace crel
