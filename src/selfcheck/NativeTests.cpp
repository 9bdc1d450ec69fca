#include "NativeTests.h"

#include "CheckReporter.h"
#include "Fixtures.h"
#include "IsolatedEnvironment.h"
#include "TemporaryRoot.h"

#include <ostream>
#include <string>

namespace crel::NativeTests {

void run(const SuiteTable &suites) {
  // Declared in this order so they go in reverse: the driver's documents
  // before the stores they write to, the stores before their folder.
  const TemporaryRoot root;
  IsolatedEnvironment environment(root.path());
  SuiteContext context(root.dir(), driverFixture());
  for (const SuiteEntry &entry : suites)
    entry.run(context);
  CheckReporter::line(QString::fromLatin1(closingLine));
}

int report(const SuiteTable &suites, std::ostream &out, std::FILE *err) {
  const CheckReporter reporter(out);
  std::string text;
  try {
    run(suites);
    return 0;
  } catch (const std::exception &e) {
    text = e.what();
  } catch (...) {
    text = "The self-test ended with an error that has no description";
  }
  out.flush();
  // The failure is one line whatever the error's text holds.
  for (char &c : text)
    if (c == '\n' || c == '\r')
      c = ' ';
  const std::string line = "FAIL: " + text + "\n";
  std::fputs(line.c_str(), err);
  std::fflush(err);
  return 1;
}

} // namespace crel::NativeTests
