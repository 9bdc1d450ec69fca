#include "update/framework/VersionComparator.h"

#include <QStringList>

#include <gtest/gtest.h>

using crel::update::VersionComparator;

namespace {

std::strong_ordering compare(const char *a, const char *b) {
  return VersionComparator::standard().compare(QString::fromUtf8(a), QString::fromUtf8(b));
}

// Oldest first: every version must compare older than every later one, both ways round.
TEST(VersionComparator, OrdersReleasesPreReleasesAndHugeNumbers) {
  // Split on spaces; the first, empty, version is older than any other.
  const QStringList ascending =
      QString(" 0.9 1.0a1 1.0b1 1.0b2 1.0b10 1.0rc1 1.0 1.0.1 1.1 1.9 1.10 2 9 10 100 101 18446744073709551615 "
              "18446744073709551616 99999999999999999999999999999999999999 100000000000000000000000000000000000000")
          .split(' ');
  ASSERT_EQ(ascending.size(), 21);
  for (qsizetype i = 0; i < ascending.size(); ++i)
    for (qsizetype j = 0; j < ascending.size(); ++j)
      EXPECT_EQ(VersionComparator::standard().compare(ascending[i], ascending[j]), i <=> j)
          << ascending[i].toStdString() << " vs " << ascending[j].toStdString();
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
