#include "platform/desktop/PasteServer.h"

#include <QDeadlineTimer>
#include <QDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace crel;
using namespace std::chrono_literals;

namespace {

int entries(const char *folder) { return int(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size()); }
int threads() { return entries("/proc/self/task"); }
int descriptors() { return entries("/proc/self/fd"); }

QByteArray copy(qsizetype size) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (qsizetype i = 0; i < size; ++i)
    bytes[i] = char(i * 7 % 251);
  return bytes;
}

// A paste's pipe: the server takes the end it writes to.
int servedPipe(PasteServer &server, const QByteArray &bytes) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0)
    return -1;
  server.serve(ends[1], bytes);
  return ends[0];
}

// Up to `wanted` bytes, waiting at most `waitMs` for them; false at the end
// of the paste.
bool readSome(int fd, QByteArray &into, size_t wanted, int waitMs = 0) {
  pollfd ready{fd, POLLIN, 0};
  if (::poll(&ready, 1, waitMs) <= 0)
    return true;
  char chunk[65536];
  const ssize_t n = ::read(fd, chunk, std::min(wanted, sizeof chunk));
  if (n > 0)
    into.append(chunk, n);
  return n > 0;
}

} // namespace

// Readers that never read, or read a little now and then, hold a thread and
// a descriptor each only up to the cap and only until a deadline; the paste
// beyond the cap is empty at once, and the copy pastes whole afterwards.
TEST(PasteServer, ReadersHoldThreadsAndDescriptorsOnlyWithinItsBounds) {
  struct Case {
    const char *name;
    size_t bytesPerTurn; // 0: never reads
    PasteServer::Bounds bounds;
  };
  const Case cases[] = {
      {"never reads, given up after the stall", 0, {4, 300ms, 60s}},
      {"trickles, given up at the whole deadline", 4096, {4, 60s, 800ms}},
  };
  const QByteArray bytes = copy(1 << 20);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const int baseThreads = threads(), baseDescriptors = descriptors();
    PasteServer server(c.bounds);
    std::vector<int> readers;
    for (int i = 0; i < 3 * c.bounds.atOnce; ++i)
      readers.push_back(servedPipe(server, bytes));
    // Beyond the cap a paste ends at once, empty.
    QByteArray beyond;
    EXPECT_FALSE(readSome(readers.back(), beyond, 1));
    EXPECT_TRUE(beyond.isEmpty());

    std::vector<QByteArray> got(readers.size());
    int mostThreads = 0, mostDescriptors = 0;
    QDeadlineTimer giveUp(20s);
    while (threads() > baseThreads && !giveUp.hasExpired()) {
      mostThreads = std::max(mostThreads, threads());
      mostDescriptors = std::max(mostDescriptors, descriptors());
      for (size_t i = 0; c.bytesPerTurn && i < got.size(); ++i)
        readSome(readers[i], got[i], c.bytesPerTurn);
      std::this_thread::sleep_for(20ms);
    }
    EXPECT_LE(mostThreads, baseThreads + c.bounds.atOnce);
    EXPECT_LE(mostDescriptors, baseDescriptors + int(readers.size()) + c.bounds.atOnce);
    EXPECT_LE(threads(), baseThreads);
    EXPECT_LE(descriptors(), baseDescriptors + int(readers.size()));
    for (size_t i = 0; i < readers.size(); ++i) {
      while (readSome(readers[i], got[i], bytes.size()))
        ;
      EXPECT_LT(got[i].size(), bytes.size());
      ::close(readers[i]);
    }

    const int reader = servedPipe(server, bytes);
    QByteArray whole;
    while (readSome(reader, whole, bytes.size(), 1000))
      ;
    EXPECT_EQ(whole, bytes);
    ::close(reader);
  }
}

// At the end of the run pastes in flight are waited for: a reader at a
// modest pace gets the whole copy; one that never reads keeps the wait no
// longer than its limit.
TEST(PasteServer, TheEndWaitsForPastesInFlightWithinItsLimit) {
  struct Case {
    const char *name;
    bool reads;
    std::chrono::milliseconds limit;
  };
  const Case cases[] = {
      {"reads at a modest pace", true, 20s},
      {"never reads", false, 300ms},
  };
  const QByteArray bytes = copy(4 << 20);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    PasteServer server({4, 60s, 60s});
    const int reader = servedPipe(server, bytes);
    QByteArray got;
    std::thread paced([&] {
      if (!c.reads)
        return;
      while (readSome(reader, got, 64 * 1024))
        std::this_thread::sleep_for(5ms);
    });
    const QDeadlineTimer bound(c.limit + 5s);
    EXPECT_EQ(server.finish(c.limit), c.reads);
    EXPECT_FALSE(bound.hasExpired());
    paced.join();
    EXPECT_EQ(got == bytes, c.reads);
    ::close(reader);
  }
}
