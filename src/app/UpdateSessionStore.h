#pragma once

#include "SessionStore.h"

#include <QString>

namespace crel {

class SettingsStore;

// The update-session file (UpdateSession) as the shell's session store.
class UpdateSessionStore : public SessionStore {
public:
  // `memory` remembers a restored file that could not be removed, so it is
  // never restored twice; the application's settings by default.
  explicit UpdateSessionStore(QString path, SettingsStore *memory = nullptr);
  UpdateSessionStore();

  const QString &path() const { return path_; }
  bool exists() const override;
  std::vector<Entry> read() override;
  std::exception_ptr takeReadFailure() override;
  void save(const std::vector<std::unique_ptr<EditorController>> &editors) override;
  void clear() override;

private:
  QString path_;
  SettingsStore *memory_;
  std::exception_ptr readFailure_;
  // From the last read: the file already keeps only what was not restored.
  bool keep_ = false;
  QByteArray digest_;
};

} // namespace crel
