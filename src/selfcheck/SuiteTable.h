#pragma once

#include "SuiteContext.h"

#include <functional>
#include <vector>

namespace crel::NativeTests {

// One entry of the run: a suite, or a part of the driver's own checks.
// Entries sharing a name form one case when suites are run one at a time.
struct SuiteEntry {
  const char *name;
  std::function<void(SuiteContext &)> run;
};

using SuiteTable = std::vector<SuiteEntry>;

// Every suite of the run, in its fixed order.
const SuiteTable &suiteTable();

} // namespace crel::NativeTests
