#pragma once

#include "SessionStore.h"

#include <QString>

#include <functional>

namespace crel {

class SettingsStore;

// The update-session file (UpdateSession) as the shell's session store. The
// file is shared by the user's instances on every display: a launch takes
// from it what it restores into a file of its own first, so that each crel
// comes back once and a launch that dies while restoring does not leave it
// to be restored again.
class UpdateSessionStore : public SessionStore {
public:
  struct Instance {
    QString display; // the key SingleInstance names its lock by
    // Whether an instance runs on that display of this machine now.
    std::function<bool(const QString &display)> isRunning;
    QString machine; // empty: this machine
  };

  // `memory` remembers a restored file that could not be removed, so it is
  // never restored twice; the application's settings by default. Without a
  // display the store takes every entry.
  explicit UpdateSessionStore(QString path, SettingsStore *memory = nullptr, Instance instance = {});
  // This process's: its display, and the instances running now.
  UpdateSessionStore();

  const QString &path() const { return path_; }
  // Where this launch keeps what it claimed while it restores: the name of
  // a second attempt while there is one, else that of the first.
  QString claimedPath() const;
  bool exists() const override;
  std::vector<Entry> read() override;
  std::exception_ptr takeReadFailure() override;
  bool readFoundSession() const override { return found_; }
  void save(const std::vector<std::unique_ptr<EditorController>> &editors) override;
  void clear() override;

private:
  QString firstClaimedPath() const;

  QString path_;
  SettingsStore *memory_;
  Instance instance_;
  // What the last read restored from: the claimed file, or the session
  // file itself where its folder cannot change; empty when nothing.
  QString source_;
  std::exception_ptr readFailure_;
  bool found_ = true;
  // From the last read: the file already keeps only what was not restored.
  bool keep_ = false;
  QByteArray digest_;
};

} // namespace crel
