#include "platform/clipboard/PasteServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

// What a paste served now reads, to its end.
QByteArray pasteOf(PasteServer &server, const QByteArray &bytes) {
  const int reader = servedPipe(server, bytes);
  QByteArray got;
  while (readSome(reader, got, bytes.size(), 1000))
    ;
  ::close(reader);
  return got;
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
    PasteServer server(c.bounds);
    const int baseThreads = threads(), baseDescriptors = descriptors();
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

    EXPECT_EQ(pasteOf(server, bytes), bytes);
  }
}

// Only a pipe or a socket is written to: anything else (a file, whose
// writes no deadline bounds) is closed at once, takes no thread or slot,
// and reads empty; the next paste is whole.
TEST(PasteServer, PastesGoOnlyIntoPipesAndSockets) {
  const QTemporaryDir dir;
  const QByteArray file = QFile::encodeName(dir.filePath("paste")), fifo = QFile::encodeName(dir.filePath("fifo"));
  ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
  struct Case {
    const char *name;
    bool served;
    std::function<std::pair<int, int>()> open; // the end served, the end read
  };
  const Case cases[] = {
      {"regular file", false,
       [&] {
         const int served = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
         return std::pair{served, ::open(file.constData(), O_RDONLY | O_CLOEXEC)};
       }},
      {"/dev/null", false,
       [] {
         return std::pair{::open("/dev/null", O_WRONLY | O_CLOEXEC), ::open("/dev/null", O_RDONLY | O_CLOEXEC)};
       }},
      {"FIFO", true,
       [&] {
         const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
         return std::pair{::open(fifo.constData(), O_WRONLY | O_CLOEXEC), reader};
       }},
      {"socket", true,
       [] {
         int ends[2] = {-1, -1};
         ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
         return std::pair{ends[0], ends[1]};
       }},
  };
  const QByteArray bytes = copy(1 << 20);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    PasteServer server({1, 60s, 60s});
    const int baseThreads = threads();
    const auto [served, reader] = c.open();
    ASSERT_GE(served, 0);
    ASSERT_GE(reader, 0);
    const int baseDescriptors = descriptors() - 1;
    server.serve(served, bytes);
    if (!c.served) {
      EXPECT_EQ(descriptors(), baseDescriptors);
      EXPECT_EQ(threads(), baseThreads);
    }
    QByteArray got;
    while (c.served && readSome(reader, got, bytes.size(), 1000))
      ;
    QDeadlineTimer giveUp(10s);
    while (threads() > baseThreads && !giveUp.hasExpired())
      std::this_thread::sleep_for(10ms);
    // What a file was given reads back once no paste is left.
    while (!c.served && readSome(reader, got, bytes.size()))
      ;
    EXPECT_EQ(got.size(), c.served ? bytes.size() : 0);
    ::close(reader);

    EXPECT_EQ(pasteOf(server, bytes), bytes);
  }
}

// At the end of the run a paste goes on while it progresses: one that has
// written nothing for the end's stall, counted from its last write or from
// the start of the wait, whichever is later, is given up, and the wait ends
// when none is left.
TEST(PasteServer, TheEndWaitsForPastesWhileTheyProgress) {
  struct Case {
    const char *name;
    std::chrono::milliseconds idleBefore;  // from the paste to the start of the wait
    std::chrono::milliseconds startsAfter; // into the wait; negative: never reads
    qsizetype stopsAfter;                  // bytes
    bool whole;
  };
  const PasteServer::Bounds bounds{4, 60s, 60s, 400ms};
  const QByteArray bytes = copy(4 << 20);
  const Case cases[] = {
      {"never reads", 0ms, -1ms, 0, false},
      {"reads steadily, slower than any flat wait", 0ms, 0ms, bytes.size(), true},
      {"idle long before the wait, reads within its stall", 800ms, 200ms, bytes.size(), true},
      {"stops reading midway", 0ms, 0ms, 512 << 10, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    PasteServer server(bounds);
    const int reader = servedPipe(server, bytes);
    std::this_thread::sleep_for(c.idleBefore);
    QByteArray got;
    std::thread paced([&] {
      if (c.startsAfter < 0ms)
        return;
      std::this_thread::sleep_for(c.startsAfter);
      // 64 KiB a turn, 40 ms apart: about 2.6 s for the whole copy.
      while (got.size() < c.stopsAfter && readSome(reader, got, 64 * 1024, 1000))
        std::this_thread::sleep_for(40ms);
    });
    const QDeadlineTimer bound(20s);
    EXPECT_TRUE(server.finish());
    EXPECT_FALSE(bound.hasExpired());
    paced.join();
    while (c.whole && readSome(reader, got, bytes.size(), 1000))
      ;
    EXPECT_EQ(got == bytes, c.whole);
    ::close(reader);
  }
}
