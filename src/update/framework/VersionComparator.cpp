#include "VersionComparator.h"

namespace crel::update {

namespace {

enum class RunKind { number, text, separator };

RunKind kindOf(QChar c) {
  if (c >= u'0' && c <= u'9')
    return RunKind::number;
  return c.isLetterOrNumber() ? RunKind::text : RunKind::separator;
}

struct Run {
  RunKind kind;
  QStringView text;
};

// Reads the run that starts at `pos` and moves past it.
Run nextRun(QStringView version, qsizetype &pos) {
  const qsizetype start = pos;
  const RunKind kind = kindOf(version[pos]);
  while (pos < version.size() && kindOf(version[pos]) == kind)
    ++pos;
  return {kind, version.sliced(start, pos - start)};
}

// Numbers of any length without overflow: fewer significant digits is smaller.
std::strong_ordering compareNumbers(QStringView a, QStringView b) {
  auto significant = [](QStringView digits) {
    qsizetype zeros = 0;
    while (zeros + 1 < digits.size() && digits[zeros] == u'0')
      ++zeros;
    return digits.sliced(zeros);
  };
  a = significant(a);
  b = significant(b);
  if (a.size() != b.size())
    return a.size() <=> b.size();
  return a.compare(b) <=> 0;
}

// Runs of different kinds: a number beats everything, text loses to everything.
int rank(RunKind kind) {
  switch (kind) {
  case RunKind::number: return 2;
  case RunKind::separator: return 1;
  case RunKind::text: return 0;
  }
  return 0;
}

} // namespace

const VersionComparator &VersionComparator::standard() {
  static const VersionComparator comparator;
  return comparator;
}

std::strong_ordering VersionComparator::compare(QStringView a, QStringView b) const {
  qsizetype i = 0;
  qsizetype j = 0;
  while (i < a.size() && j < b.size()) {
    const Run x = nextRun(a, i);
    const Run y = nextRun(b, j);
    if (x.kind != y.kind)
      return rank(x.kind) <=> rank(y.kind);
    std::strong_ordering order = std::strong_ordering::equal;
    if (x.kind == RunKind::number)
      order = compareNumbers(x.text, y.text);
    else if (x.kind == RunKind::text)
      order = x.text.compare(y.text) <=> 0;
    if (order != 0)
      return order;
  }
  // One ran out: a further text run marks a pre-release of the shorter version,
  // anything else a later release.
  if (i < a.size())
    return kindOf(a[i]) == RunKind::text ? std::strong_ordering::less : std::strong_ordering::greater;
  if (j < b.size())
    return kindOf(b[j]) == RunKind::text ? std::strong_ordering::greater : std::strong_ordering::less;
  return std::strong_ordering::equal;
}

} // namespace crel::update
