#include "Check.h"

#include "CheckReporter.h"

namespace crel::NativeTests {

void expect(bool condition, const QString &message) {
  if (!condition)
    throw Failure(message);
  pass(message);
}

void pass(const QString &message) { CheckReporter::line(QStringLiteral("PASS: ") + message); }

void fail(const QString &description) { throw Failure(description); }

} // namespace crel::NativeTests
