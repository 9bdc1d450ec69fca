#include "UpdateSessionStore.h"

#include "document/AnnotationPreferences.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"
#include "update/UpdateSession.h"

#include <QFileInfo>

namespace crel {

UpdateSessionStore::UpdateSessionStore(QString path) : path_(std::move(path)) {}

UpdateSessionStore::UpdateSessionStore() : UpdateSessionStore(UpdateSession::file()) {}

bool UpdateSessionStore::exists() const { return QFileInfo::exists(path_); }

std::vector<SessionStore::Entry> UpdateSessionStore::read() {
  UpdateSession::ReadResult result = UpdateSession::read(path_, AnnotationPreferences::shared());
  readFailure_ = result.failure;
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

void UpdateSessionStore::clear() { UpdateSession::clear(path_); }

} // namespace crel
