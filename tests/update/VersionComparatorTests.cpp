#include "update/framework/VersionComparator.h"

#include <QString>

#include <gtest/gtest.h>

using crel::update::VersionComparator;

namespace {

std::strong_ordering compare(const char *a, const char *b) {
  return VersionComparator::standard().compare(QString::fromUtf8(a), QString::fromUtf8(b));
}

// Oldest first: every version must compare older than every later one, both ways round.
TEST(VersionComparator, OrdersReleasesPreReleasesAndHugeNumbers) {
  const char *ascending[] = {"",
                             "0.9",
                             "1.0a1",
                             "1.0b1",
                             "1.0b2",
                             "1.0b10",
                             "1.0rc1",
                             "1.0",
                             "1.0.1",
                             "1.1",
                             "1.9",
                             "1.10",
                             "2",
                             "9",
                             "10",
                             "100",
                             "101",
                             "18446744073709551615",
                             "18446744073709551616",
                             "99999999999999999999999999999999999999",
                             "100000000000000000000000000000000000000"};
  const std::size_t n = std::size(ascending);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) {
      SCOPED_TRACE(std::string(ascending[i]) + " vs " + ascending[j]);
      EXPECT_EQ(compare(ascending[i], ascending[j]), i <=> j);
    }
}

TEST(VersionComparator, TreatsSpellingsOfOneVersionAsEqual) {
  const std::pair<const char *, const char *> equal[] = {
      {"1.0", "1-0"}, {"007", "7"}, {"1.02", "1.2"}, {"0", "00"}, {"1..0", "1.0"}};
  for (const auto &[a, b] : equal) {
    SCOPED_TRACE(std::string(a) + " = " + b);
    EXPECT_EQ(compare(a, b), std::strong_ordering::equal);
    EXPECT_EQ(compare(b, a), std::strong_ordering::equal);
  }
}

} // namespace
