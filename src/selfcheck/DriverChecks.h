#pragma once

namespace crel::NativeTests {

class SuiteContext;

// The driver's own checks before the first suite, on the driver document.
void driverChecks(SuiteContext &context);

} // namespace crel::NativeTests
