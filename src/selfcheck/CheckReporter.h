#pragma once

#include <QString>

#include <iosfwd>

namespace crel::NativeTests {

// Where passing checks are written: standard output unless a scope installs
// another stream. Every line is flushed at once, so a crash loses nothing and
// a merged log keeps the passes before the failure line.
class CheckReporter {
public:
  // Installs `out` for the object's lifetime; the previous stream comes back after.
  explicit CheckReporter(std::ostream &out);
  ~CheckReporter();
  CheckReporter(const CheckReporter &) = delete;
  CheckReporter &operator=(const CheckReporter &) = delete;

  // Writes `text` and a newline to the current stream and flushes it.
  static void line(const QString &text);

private:
  std::ostream *previous_;
};

} // namespace crel::NativeTests
