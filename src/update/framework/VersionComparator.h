#pragma once

#include <QStringView>

#include <compare>

namespace crel::update {

// Orders version strings as release numbers: "10" is newer than "9", "1.0.1"
// than "1.0", and "1.0" than its pre-release "1.0b1". Each version is split
// into runs of ASCII digits (compared as numbers of any length), of other
// letters (compared as text) and of separators (all equal).
class VersionComparator {
public:
  static const VersionComparator &standard();

  // greater: `a` is the newer version.
  std::strong_ordering compare(QStringView a, QStringView b) const;
};

} // namespace crel::update
