#include "selfcheck/MemoryFootprint.h"

#include <gtest/gtest.h>

namespace {

using crel::NativeTests::MemoryFootprint::fromStatus;

struct StatusCase {
  const char *name;
  QByteArray status;
  std::optional<qint64> bytes;
};

// Resident file pages and totals must not count; a status the kernel did not
// write must read as no footprint, never as zero.
TEST(MemoryFootprint, CountsAnonymousResidentAndSwappedPagesOnly) {
  const QByteArray kernelStatus = "Name:\tcrel\nVmRSS:\t  90000 kB\nRssAnon:\t   40960 kB\nRssFile:\t   "
                                  "49040 kB\nRssShmem:\t       0 kB\nVmSwap:\t    1024 kB\n";
  const StatusCase cases[] = {
      {"kernel layout", kernelStatus, (40960 + 1024) * qint64(1024)},
      {"no swap line", "RssAnon:\t 100 kB\n", std::nullopt},
      {"no anonymous line", "VmRSS:\t 100 kB\nVmSwap:\t 0 kB\n", std::nullopt},
      {"another unit", "RssAnon:\t 100 MB\nVmSwap:\t 0 kB\n", std::nullopt},
      {"not a number", "RssAnon:\t many kB\nVmSwap:\t 0 kB\n", std::nullopt},
      {"similar name first", "RssAnonymous:\t 7 kB\nRssAnon:\t 2 kB\nVmSwap:\t 1 kB\n", 3 * qint64(1024)},
      {"empty", "", std::nullopt},
  };
  for (const StatusCase &c : cases)
    EXPECT_EQ(fromStatus(c.status), c.bytes) << c.name;
}

} // namespace
