#include "selfcheck/NativeTests.h"

#include <QDirIterator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

// The update suite keeps to its run's root: no session file in the user's
// data folder, no updater cache, no settings. Home, the XDG folders and the
// temporary folder point into one scratch folder while it runs, so anything
// it writes outside its root shows up there.
TEST(UpdateSuite, WritesNothingOutsideTheRunsRoot) {
  using namespace crel::NativeTests;
  const SuiteTable &table = suiteTable();
  const auto entry = std::find_if(table.begin(), table.end(),
                                  [](const SuiteEntry &e) { return std::string_view(e.name) == "Updates"; });
  ASSERT_NE(entry, table.end());

  QTemporaryDir scratch;
  const char *const names[] = {"HOME",           "XDG_DATA_HOME",  "XDG_CONFIG_HOME",
                               "XDG_CACHE_HOME", "XDG_STATE_HOME", "TMPDIR"};
  std::vector<std::optional<QByteArray>> saved;
  for (const char *name : names) {
    saved.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    qputenv(name, scratch.filePath(name).toUtf8());
  }
  const QString tmp = scratch.filePath("TMPDIR");
  QDir().mkpath(tmp);
  EXPECT_NO_THROW(run({*entry}));
  for (size_t i = 0; i < std::size(names); ++i)
    saved[i] ? qputenv(names[i], *saved[i]) : qunsetenv(names[i]);

  QStringList written;
  QDirIterator it(scratch.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  while (it.hasNext())
    if (const QString path = it.next(); path != tmp)
      written << path;
  EXPECT_EQ(written, QStringList());
}
