#pragma once

#include <QByteArray>

#include <chrono>
#include <memory>

namespace crel {

// Writes what Crel published to the programs that paste it, each paste on a
// thread of its own, within bounds no reader on the display can stretch: at
// most `atOnce` pastes at a time (one more is closed at once and reads as
// empty, as when the owner went), each given up after `stall` without
// progress or after `whole` however it trickles. Readers never hold more
// threads and descriptors than that, nor for longer, so the instance's
// channel and the next copy keep theirs.
class PasteServer {
public:
  // The defaults serve every paste a person makes; tests shorten them.
  struct Bounds {
    int atOnce = 16;
    std::chrono::milliseconds stall{10000};
    std::chrono::milliseconds whole{30000};
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

  // Takes `fd`: writes `bytes` to it and closes it.
  void serve(int fd, const QByteArray &bytes);
  // Waits for the pastes in flight, at most `limit` in all; true when none
  // is left.
  bool finish(std::chrono::milliseconds limit);

  struct State;

private:
  Bounds bounds_;
  std::shared_ptr<State> state_;
};

} // namespace crel
