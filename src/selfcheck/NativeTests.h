#pragma once

#include "SuiteTable.h"

#include <cstdio>
#include <iosfwd>

namespace crel::NativeTests {

// The closing line of a run in which every check passed.
inline constexpr const char *closingLine = "ALL NATIVE REGRESSION CHECKS PASSED";

// The whole regression run over `suites`, on the main thread: a temporary
// root, private preferences and pasteboard, the fixture, every entry in
// order, then the closing line. Returns only when every check passed; the
// first failure propagates. Root and private stores are gone either way.
void run(const SuiteTable &suites = suiteTable());

// run() as the command-line mode reports it: passing lines on `out`; on the
// first failure one "FAIL: <text>" line on `err`. Returns the exit status
// (0 or 1); never exits the process.
int report(const SuiteTable &suites, std::ostream &out, std::FILE *err);

} // namespace crel::NativeTests
