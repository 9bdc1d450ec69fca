#include "app/ShellRules.h"
#include "platform/FakeShellWindow.h"

#include <gtest/gtest.h>

using namespace crel;
using Action = ShellRules::ReopenChoice::Action;

namespace {

// A window in front-to-back order: its editor (-1: none) and its state.
struct W {
  int editor = -1;
  bool sheet = false, minimised = false, panel = false, hidden = false;
};

} // namespace

TEST(ReopenRule, ASecondPlainLaunchBringsForwardWhatTheUserExpects) {
  struct Case {
    const char *name;
    bool capturing;
    std::vector<W> windows;
    int editors;
    ShellRules::ReopenChoice expected;
  };
  const std::vector<Case> cases{
      {"capturing: nothing, even with a sheet up", true, {{0, true}}, 1, {Action::nothing, -1}},
      {"no windows, no editors: settings", false, {}, 0, {Action::settings, -1}},
      {"only the settings window: settings", false, {{-1}}, 0, {Action::settings, -1}},
      {"a sheet on a back window wins over a front editor", false, {{1}, {-1, true}}, 2, {Action::focusWindow, 1}},
      {"a sheet on a minimised window does not count", false, {{1}, {0, true, true}}, 2, {Action::focusEditor, 1}},
      {"the front editor, not the newest", false, {{-1}, {0}, {1}}, 2, {Action::focusEditor, 0}},
      {"a panel in front is skipped", false, {{-1, false, false, true}, {1}}, 2, {Action::focusEditor, 1}},
      {"every editor minimised: the newest comes back",
       false,
       {{0, false, true}, {1, false, true}},
       2,
       {Action::focusEditor, 1}},
      {"editors hidden behind settings only",
       false,
       {{-1}, {0, false, false, false, true}},
       1,
       {Action::focusEditor, 0}},
  };
  for (const Case &c : cases) {
    std::vector<FakeShellWindow> fakes(c.windows.size());
    std::vector<ShellRules::OrderedWindow> ordered;
    for (size_t i = 0; i < c.windows.size(); ++i) {
      fakes[i].sheet = c.windows[i].sheet;
      fakes[i].miniaturized = c.windows[i].minimised;
      fakes[i].panel = c.windows[i].panel;
      fakes[i].visible = !c.windows[i].hidden;
      ordered.push_back({&fakes[i], c.windows[i].editor});
    }
    EXPECT_EQ(ShellRules::reopenAction(c.capturing, ordered, c.editors), c.expected) << c.name;
  }
}
