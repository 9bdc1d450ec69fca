#pragma once

#include "SessionStore.h"

#include <QString>

namespace crel {

// The update-session file (UpdateSession) as the shell's session store.
class UpdateSessionStore : public SessionStore {
public:
  explicit UpdateSessionStore(QString path);
  UpdateSessionStore();

  const QString &path() const { return path_; }
  bool exists() const override;
  std::vector<Entry> read() override;
  std::exception_ptr takeReadFailure() override;
  void save(const std::vector<std::unique_ptr<EditorController>> &editors) override;
  void clear() override;

private:
  QString path_;
  std::exception_ptr readFailure_;
};

} // namespace crel
