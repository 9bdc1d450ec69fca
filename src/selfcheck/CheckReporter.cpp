#include "CheckReporter.h"

#include <iostream>

namespace crel::NativeTests {

namespace {
std::ostream *current = nullptr;
}

CheckReporter::CheckReporter(std::ostream &out) : previous_(current) { current = &out; }

CheckReporter::~CheckReporter() { current = previous_; }

void CheckReporter::line(const QString &text) {
  std::ostream &out = current ? *current : std::cout;
  out << text.toStdString() << '\n';
  out.flush();
}

} // namespace crel::NativeTests
