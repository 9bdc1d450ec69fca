#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace crel {

class EditorController;
class SessionStore;

// Reopens the editors an update relaunch left in the session store, each in
// the place it was saved, then removes what was restored from the store.
class SessionRestore {
public:
  struct Hooks {
    // Takes a restored editor into the list of open ones, before it is shown.
    std::function<void(std::unique_ptr<EditorController>)> connectEditor;
    // Tells the user what went wrong or what the restore did differently.
    std::function<void(const QString &message)> report;
  };

  // Whether there was a session to restore, whether or not it could be read.
  static bool restore(SessionStore &session, const Hooks &hooks);
};

} // namespace crel
