#pragma once

#include <QByteArray>

#include <chrono>
#include <memory>

namespace crel {

// Writes what Crel published to the programs that paste it, each paste on a
// thread of its own, within bounds no reader on the display can stretch: at
// most `atOnce` pastes at a time (one more is closed at once and reads as
// empty, as when the owner went), each given up after `stall` without
// progress or after `whole` however it trickles. Only a pipe or a socket is
// written to: a file's writes can block past any deadline (a stalled network
// or FUSE file system). Readers never hold more threads and descriptors than
// that, nor for longer, so the instance's channel and the next copy keep
// theirs.
class PasteServer {
public:
  // The defaults serve every paste a person makes; tests shorten them.
  struct Bounds {
    int atOnce = 16;
    std::chrono::milliseconds stall{10000};
    std::chrono::milliseconds whole{30000};
    // At the end of the run, from a paste's last write or the start of the
    // wait, whichever is later.
    std::chrono::milliseconds endStall{1000};
  };

  // The process's own, with the default bounds: the clipboard serves from
  // it, and the end of the run waits for it.
  static PasteServer &shared();

  PasteServer();
  explicit PasteServer(Bounds bounds);
  // Pastes in flight go on to their end or their deadline.
  ~PasteServer();
  PasteServer(const PasteServer &) = delete;
  PasteServer &operator=(const PasteServer &) = delete;

  // Takes `fd`: writes `bytes` to it and closes it. Anything but a pipe or a
  // socket is closed at once and reads as empty.
  void serve(int fd, const QByteArray &bytes);
  // The end of the run: waits while the pastes in flight progress. Each
  // keeps its `whole` bound and is given up after `endStall` without a
  // write; true when none is left.
  bool finish();

  struct State;

private:
  Bounds bounds_;
  std::shared_ptr<State> state_;
};

} // namespace crel
