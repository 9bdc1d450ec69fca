#include "UpdateSessionStore.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelError.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"
#include "platform/files/FileError.h"
#include "platform/files/SettingsStore.h"
#include "update/UpdateSession.h"

#include <QFileInfo>

namespace crel {

UpdateSessionStore::UpdateSessionStore(QString path, SettingsStore *memory)
    : path_(std::move(path)), memory_(memory ? memory : &SettingsStore::standard()) {}

UpdateSessionStore::UpdateSessionStore() : UpdateSessionStore(UpdateSession::file()) {}

bool UpdateSessionStore::exists() const { return QFileInfo::exists(path_); }

std::vector<SessionStore::Entry> UpdateSessionStore::read() {
  UpdateSession::ReadResult result = UpdateSession::read(path_, AnnotationPreferences::shared(), {}, memory_);
  readFailure_ = result.failure;
  keep_ = result.keep;
  digest_ = result.digest;
  std::vector<Entry> entries;
  for (UpdateSession::Restored &restored : result.entries)
    entries.push_back({std::move(restored.document), restored.frame, restored.notice});
  return entries;
}

std::exception_ptr UpdateSessionStore::takeReadFailure() { return std::exchange(readFailure_, nullptr); }

void UpdateSessionStore::save(const std::vector<std::unique_ptr<EditorController>> &editors) {
  std::vector<UpdateSession::Open> open;
  for (const auto &editor : editors) {
    const EditorWindow *window = editor->window();
    // The client area: its place does not depend on whether, or how, the
    // window manager has framed the window yet when it is put back.
    open.push_back({editor->document(), window ? window->geometry() : QRect()});
  }
  UpdateSession::save(open, path_);
}

void UpdateSessionStore::clear() {
  // What is at the path now holds only what was not restored, or is
  // remembered as restored: either way it stays.
  if (std::exchange(keep_, false))
    return;
  try {
    UpdateSession::clear(path_);
  } catch (const FileError &error) {
    // Left in place, it must not be restored over the editors shown now.
    throw CrelError::capture(error.message() + QLatin1Char(' ') + UpdateSession::rememberRestored(memory_, digest_));
  }
}

} // namespace crel
