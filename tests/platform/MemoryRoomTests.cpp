#include "platform/base/MemoryRoom.h"

#include <gtest/gtest.h>

#include <map>

using namespace crel;

// The room, read from the system's texts: swap counts, and so does every
// cgroup's limit up from the process's own. Sizes in MB.
TEST(MemoryRoom, AvailableMemoryAndSwapWithinEveryCgroupLimit) {
  const auto kB = [](qint64 mb) { return QByteArray::number(mb * 1024); };
  const auto bytes = [](qint64 mb) { return QByteArray::number(mb << 20); };
  const QByteArray meminfo = "MemTotal: 8000000 kB\nMemAvailable: " + kB(160) + " kB\nSwapFree: " + kB(8192) + " kB\n";
  const QString app = "/sys/fs/cgroup/user.slice/app.scope/", slice = "/sys/fs/cgroup/user.slice/";
  const struct {
    const char *name;
    std::map<QString, QByteArray> files;
    qint64 roomMb;
  } rooms[]{
      {"free swap counts", {{"/proc/meminfo", meminfo}}, 160 + 8192 - 128},
      {"no cgroup limit",
       {{"/proc/meminfo", meminfo},
        {"/proc/self/cgroup", "0::/user.slice/app.scope\n"},
        {app + "memory.max", "max\n"},
        {app + "memory.current", bytes(900)}},
       160 + 8192 - 128},
      {"a cgroup limit lower than memory",
       {{"/proc/meminfo", meminfo},
        {"/proc/self/cgroup", "0::/user.slice/app.scope\n"},
        {app + "memory.max", bytes(1000)},
        {app + "memory.current", bytes(900)},
        {app + "memory.stat", "active_file 1\ninactive_file " + bytes(300) + "\n"}},
       1000 - 900 + 300 - 128},
      {"a parent's lower limit",
       {{"/proc/meminfo", meminfo},
        {"/proc/self/cgroup", "1:name=systemd:/\n0::/user.slice/app.scope\n"},
        {app + "memory.max", bytes(4000)},
        {app + "memory.current", bytes(900)},
        {slice + "memory.max", bytes(2000)},
        {slice + "memory.current", bytes(1700)}},
       2000 - 1700 - 128},
      {"a cgroup without swap",
       {{"/proc/meminfo", meminfo},
        {"/proc/self/cgroup", "0::/user.slice/app.scope\n"},
        {app + "memory.swap.max", "0\n"}},
       160 - 128},
      {"a parent's swap limit",
       {{"/proc/meminfo", meminfo},
        {"/proc/self/cgroup", "0::/user.slice/app.scope\n"},
        {slice + "memory.swap.max", bytes(1024)},
        {slice + "memory.swap.current", bytes(24)}},
       160 + 1000 - 128},
  };
  for (const auto &r : rooms)
    EXPECT_EQ(MemoryRoom::roomInMemory([&r](const QString &path) {
                const auto file = r.files.find(path);
                return file == r.files.end() ? QByteArray() : file->second;
              }),
              r.roomMb << 20)
        << r.name;
}
