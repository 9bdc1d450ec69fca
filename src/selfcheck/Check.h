#pragma once

#include "Failure.h"

#include <QString>

namespace crel::NativeTests {

// A true condition prints "PASS: <message>"; a false one prints nothing and
// throws Failure(message). The condition is evaluated by the caller, once,
// at the moment of the check.
void expect(bool condition, const QString &message);

// The pass line of a check whose success is the operation just completed.
void pass(const QString &message);

// Ends the run with `description`, e.g. when a value a check relies on is missing.
[[noreturn]] void fail(const QString &description);

} // namespace crel::NativeTests
