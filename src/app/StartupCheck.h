#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace crel {

class AppDelegate;

// The check a test run asks for one second after launch: the live delegate
// kept its shortcut, its status item and the window the launch should show
// (the welcome window, or none after a login launch); then it quits through
// the normal quit path.
namespace StartupCheck {

struct State {
  bool hasDelegate = false;
  bool regularPolicy = false;
  bool shortcutRegistered = false;
  bool hasStatusItem = false;
  bool launchedAtLogin = false;
  bool welcomeExists = false;
  bool welcomeVisible = false;
};

struct Outcome {
  bool passed = false;
  QString line; // the PASS line for standard output, or the FAIL line for standard error
  friend bool operator==(const Outcome &, const Outcome &) = default;
};

Outcome evaluate(const State &state, bool loginVariant);
// The login evidence: {"loginEvent":…,"shortcutRegistered":…,"welcomeHidden":…}.
QByteArray evidence(const State &state);

State observe(const AppDelegate *delegate);

// Runs the check on the live delegate and ends the process: PASS and the
// normal quit, or a FAIL line and status 1. `evidencePath` is where the
// login variant writes its evidence, when given.
void run(AppDelegate *delegate, bool loginVariant, const std::optional<QString> &evidencePath);

} // namespace StartupCheck

} // namespace crel
