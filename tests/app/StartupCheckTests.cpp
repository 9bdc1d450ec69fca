#include "app/StartupCheck.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace crel;
using StartupCheck::State;

TEST(StartupCheck, EachMissingPieceFailsTheVariantThatNeedsIt) {
  State ordinary{true, true, true, true, false, true, true};
  State login{true, true, true, true, true, false, false};
  const auto with = [](State s, auto change) {
    change(s);
    return s;
  };
  const struct {
    const char *name;
    State state;
    bool loginVariant, passes;
  } rows[]{
      {"ordinary launch", ordinary, false, true},
      {"login launch", login, true, true},
      {"no delegate", State{}, false, false},
      {"not a regular application", with(ordinary, [](State &s) { s.regularPolicy = false; }), false, false},
      {"shortcut taken", with(ordinary, [](State &s) { s.shortcutRegistered = false; }), false, false},
      {"no status item", with(login, [](State &s) { s.hasStatusItem = false; }), true, false},
      {"welcome made but hidden", with(ordinary, [](State &s) { s.welcomeVisible = false; }), false, false},
      {"ordinary check of a login launch", login, false, false},
      {"login check of an ordinary launch", ordinary, true, false},
      {"login check with a welcome window", with(login, [](State &s) { s.welcomeExists = true; }), true, false},
  };
  for (const auto &row : rows) {
    const StartupCheck::Outcome outcome = StartupCheck::evaluate(row.state, row.loginVariant);
    EXPECT_EQ(outcome.passed, row.passes) << row.name;
    EXPECT_TRUE(outcome.line.startsWith(row.passes ? "PASS: " : "FAIL: ")) << row.name;
  }
  EXPECT_EQ(StartupCheck::evaluate(State{}, false).line, "FAIL: Application delegate did not survive startup");
}

TEST(StartupCheck, TheEvidenceSaysWhatTheLoginLaunchDid) {
  const QJsonObject evidence =
      QJsonDocument::fromJson(StartupCheck::evidence({true, true, false, true, true, true, true})).object();
  EXPECT_EQ(evidence, (QJsonObject{{"loginEvent", true}, {"shortcutRegistered", false}, {"welcomeHidden", false}}));
}
