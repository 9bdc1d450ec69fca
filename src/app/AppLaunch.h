#pragma once

#include "CommandLine.h"
#include "CrelApplication.h"
#include "LaunchMode.h"

#include <QString>

#include <exception>
#include <functional>
#include <map>
#include <memory>

namespace crel {

// One process's launch: its arguments, its chosen mode, and the
// application object, built when the mode first asks for it.
class LaunchContext {
public:
  LaunchContext(int &argc, char **argv, CommandLine commandLine, LaunchChoice choice);
  ~LaunchContext();

  const CommandLine &commandLine() const { return commandLine_; }
  const LaunchChoice &choice() const { return choice_; }
  // Modes that build their own application object (the self-test) take these.
  int &argc() { return argc_; }
  char **argv() { return argv_; }

  // Chooses Qt's platform (xcb where an X server answers, offscreen for the
  // headless modes otherwise), builds the application object and applies the
  // mode's activation policy. A mode that needs a display and has none ends
  // the process here with the FAIL line.
  CrelApplication &application();

private:
  int &argc_;
  char **argv_;
  CommandLine commandLine_;
  LaunchChoice choice_;
  std::unique_ptr<CrelApplication> application_;
};

// Runs one mode and returns the process status; a throw becomes the FAIL line.
using ModeRunner = std::function<int(LaunchContext &)>;
using ModeTable = std::map<LaunchMode, ModeRunner>;

// The whole of main: copies the arguments, reads the identity from the
// executable's bundle, chooses the mode and runs its entry from `modes`.
int launch(int argc, char **argv, const ModeTable &modes);

// "FAIL: <description>" on standard error, then status 1 at once: no
// destructors of a half-finished mode run and nothing else is written.
[[noreturn]] void failAndExit(const QString &description);
// For work started from the event loop: a throw ends the process as above.
void runOrFail(const std::function<void()> &work);

} // namespace crel
