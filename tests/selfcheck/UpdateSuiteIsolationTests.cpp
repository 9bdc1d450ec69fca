#include "selfcheck/NativeTests.h"

#include <QDirIterator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

namespace {

using namespace crel::NativeTests;

// Points the process's home, XDG folders and temporary folder into one
// scratch folder for its lifetime, so that any file a run writes outside its
// own root shows up there.
class ScratchHome {
public:
  ScratchHome() {
    for (const char *name : names)
      saved_.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    for (const char *name : names)
      qputenv(name, scratch_.filePath(QString::fromLatin1(name)).toUtf8());
    QDir().mkpath(qEnvironmentVariable("TMPDIR"));
  }
  ~ScratchHome() {
    for (size_t i = 0; i < std::size(names); ++i)
      saved_[i] ? qputenv(names[i], *saved_[i]) : qunsetenv(names[i]);
  }
  // Every entry below the scratch folder except the empty temporary folder.
  QStringList written() const {
    QStringList found;
    QDirIterator it(scratch_.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
      if (const QString path = it.next(); path != qEnvironmentVariable("TMPDIR"))
        found << path;
    return found;
  }

private:
  static constexpr const char *names[] = {"HOME",           "XDG_DATA_HOME",  "XDG_CONFIG_HOME",
                                          "XDG_CACHE_HOME", "XDG_STATE_HOME", "TMPDIR"};
  QTemporaryDir scratch_;
  std::vector<std::optional<QByteArray>> saved_;
};

// The update suite keeps to its run's root: no session file in the user's
// data folder, no updater cache, no settings.
TEST(UpdateSuite, WritesNothingOutsideTheRunsRoot) {
  const SuiteTable &table = suiteTable();
  const auto entry = std::find_if(table.begin(), table.end(),
                                  [](const SuiteEntry &e) { return std::string_view(e.name) == "Updates"; });
  ASSERT_NE(entry, table.end());

  const ScratchHome home;
  EXPECT_NO_THROW(run({*entry}));
  EXPECT_EQ(home.written(), QStringList());
}

} // namespace
