#include "app/WindowPresentation.h"
#include "platform/desktop/FakeShellWindow.h"

#include <gtest/gtest.h>

using namespace crel;
using Kind = WindowPresentation::ReopenAction::Kind;

namespace {

// A window in front-to-back order: whether it is an editor's, and its state.
struct W {
  bool editor = false;
  bool sheet = false, minimised = false, panel = false, hidden = false;
};

} // namespace

TEST(ReopenRule, ASecondPlainLaunchBringsForwardWhatTheUserExpects) {
  constexpr int none = -1;
  struct Case {
    const char *name;
    bool capturing;
    std::vector<W> windows;
    std::vector<int> editors; // into windows, in connection order
    Kind kind;
    int window; // into windows
  };
  const std::vector<Case> cases{
      {"capturing: nothing, even with a sheet up", true, {{true, true}}, {0}, Kind::nothing, none},
      {"no windows, no editors: settings", false, {}, {}, Kind::openSettings, none},
      {"only the settings window: settings", false, {{}}, {}, Kind::openSettings, none},
      {"a sheet on a back window wins over a front editor", false, {{true}, {false, true}}, {0}, Kind::bringForward, 1},
      {"a sheet on a minimised window does not count",
       false,
       {{true}, {true, true, true}},
       {1, 0},
       Kind::bringForward,
       0},
      {"the front editor, not the newest", false, {{}, {true}, {true}}, {1, 2}, Kind::bringForward, 1},
      {"a panel in front is skipped", false, {{false, false, false, true}, {true}}, {1}, Kind::bringForward, 1},
      {"every editor minimised: the newest comes back",
       false,
       {{true, false, true}, {true, false, true}},
       {0, 1},
       Kind::bringForward,
       1},
      {"an editor off the window list is still reachable", false, {}, {0}, Kind::bringForward, 0},
      {"editors hidden behind settings only",
       false,
       {{}, {true, false, false, false, true}},
       {1},
       Kind::bringForward,
       1},
  };
  for (const Case &c : cases) {
    // One more fake than listed windows, for an editor that is not on the list.
    std::vector<FakeShellWindow> fakes(c.windows.size() + 1);
    WindowPresentation::Windows windows, editors;
    for (size_t i = 0; i < c.windows.size(); ++i) {
      fakes[i].sheet = c.windows[i].sheet;
      fakes[i].miniaturized = c.windows[i].minimised;
      fakes[i].panel = c.windows[i].panel;
      fakes[i].visible = !c.windows[i].hidden;
      windows.push_back(&fakes[i]);
    }
    for (int e : c.editors)
      editors.push_back(&fakes[size_t(e)]);
    const WindowPresentation::ReopenAction expected{c.kind, c.window == none ? nullptr : &fakes[size_t(c.window)]};
    EXPECT_EQ(WindowPresentation::reopenAction(c.capturing, windows, editors), expected) << c.name;
  }
}
