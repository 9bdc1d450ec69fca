#pragma once

namespace crel::NativeTests {

class SuiteContext;

// The driver's own checks before the first suite, on the driver document.
void driverChecks(SuiteContext &context);

// The driver's closing check after the last suite: one synthetic press of
// the hot key its checks left registered.
void driverHotKeyEvent(SuiteContext &context);

} // namespace crel::NativeTests
