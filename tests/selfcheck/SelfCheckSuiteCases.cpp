#include "selfcheck/CheckReporter.h"
#include "selfcheck/NativeTests.h"

#include <gtest/gtest.h>

#include <sstream>

// One case per suite of the product's table, each in a run of its own (own
// root, fixture and private stores): `ctest -R selfcheck.SelfCheck.<Suite>`.
// The checks themselves are the suite's; a case only reports its failure.
namespace {

using namespace crel::NativeTests;

class SuiteCase : public testing::Test {
public:
  explicit SuiteCase(SuiteTable entries) : entries_(std::move(entries)) {}

  void TestBody() override {
    std::ostringstream log;
    const CheckReporter reporter(log);
    try {
      run(entries_);
    } catch (const std::exception &e) {
      FAIL() << e.what() << "\nchecks that passed before it:\n" << log.str();
    }
  }

private:
  SuiteTable entries_;
};

// Entries sharing a name (the driver's checks before and after the suites)
// form one case, in table order.
const bool registered = [] {
  std::vector<std::pair<std::string, SuiteTable>> cases;
  for (const SuiteEntry &entry : suiteTable()) {
    auto it = std::find_if(cases.begin(), cases.end(), [&](const auto &c) { return c.first == entry.name; });
    if (it == cases.end())
      it = cases.insert(cases.end(), {entry.name, {}});
    it->second.push_back(entry);
  }
  for (const auto &[name, entries] : cases)
    testing::RegisterTest("SelfCheck", name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                          [entries = entries]() -> testing::Test * { return new SuiteCase(entries); });
  return true;
}();

} // namespace
