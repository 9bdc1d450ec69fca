#pragma once

#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace crel::test {

// A stand-in Wayland compositor on a socket of the test's own, served on a
// thread of its own. It speaks just enough of the wire protocol for a
// data-control client: globals, round trips, sources and selections, and a
// selection held by another program that answers a read in its own way.
class FakeCompositor {
public:
  enum class Owner { silent, flooding, trickling };
  // Where the compositor closes every connection it takes.
  enum class Closing { never, atOnce, atDevice };
  struct Options {
    bool manager = true;
    bool seat = true;
    // False: the socket's queue of connections is full and none is taken.
    bool accepting = true;
    // The first connections are never answered.
    int unanswered = 0;
    Closing closing = Closing::never;
    // Another program copies as each source is destroyed: its `cancelled`
    // crosses the destroy, and the round trip after it is answered late
    // enough for the client to have acted on the event.
    bool cancelOnDestroy = false;
    // The selection's types when another program holds it; none: no selection.
    QStringList offered;
    // What that program does with a read: never writes, writes "é" until
    // the reader goes, or writes "x" every 100 ms until the reader goes.
    Owner owner = Owner::silent;
  };

  explicit FakeCompositor(Options options);
  ~FakeCompositor();
  FakeCompositor(const FakeCompositor &) = delete;
  FakeCompositor &operator=(const FakeCompositor &) = delete;

  // A Wayland session whose display is this compositor.
  QProcessEnvironment environment() const;

  int connections() const;
  int open() const;
  // Selections set by clients, and reads of the other program's selection.
  int selections() const;
  int receives() const;
  // Requests on a source the client had already destroyed; the first ends
  // the client with an "invalid object" error, as sway does.
  int invalidRequests() const;
  // Tells every data device it is no longer valid, as when its seat goes.
  void finishDevices();
  // Another program copies: the selection is cleared, then a new offer of
  // the same types takes it.
  void changeSelection();
  // Stops answering every connection until called with false, as a
  // compositor stopped by a signal; a connection closed meanwhile is seen.
  void stall(bool stalled);

  struct Client;

private:
  void serve();
  void handle(Client &client);
  void offerSelection(Client &client, uint32_t device);

  const Options options_;
  QTemporaryDir dir_;
  int listener_ = -1;
  int filler_ = -1;
  int wake_[2] = {-1, -1};
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Client>> clients_;
  std::vector<int> held_;
  std::vector<std::thread> writers_;
  int connections_ = 0, selections_ = 0, receives_ = 0, invalidRequests_ = 0;
  bool stalled_ = false;
  std::thread thread_;
};

} // namespace crel::test
