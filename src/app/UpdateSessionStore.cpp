#include "UpdateSessionStore.h"

#include "SingleInstance.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelError.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"
#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/FileError.h"
#include "platform/files/RuntimeFolder.h"
#include "platform/files/SettingsStore.h"
#include "update/UpdateSession.h"

#include <QFileInfo>

namespace crel {

namespace {

// Both sentences in one, for the one alert after the restore.
std::exception_ptr joined(const QString &first, const std::exception_ptr &second) {
  if (first.isEmpty())
    return second;
  if (!second)
    return std::make_exception_ptr(CrelError::capture(first));
  return std::make_exception_ptr(CrelError::capture(
      first + QStringLiteral("\n\n") + CrelError::describe(second, crel::tr("An unknown error occurred."))));
}

} // namespace

UpdateSessionStore::UpdateSessionStore(QString path, SettingsStore *memory, Instance instance)
    : path_(std::move(path)), memory_(memory ? memory : &SettingsStore::standard()), instance_(std::move(instance)) {}

UpdateSessionStore::UpdateSessionStore()
    : UpdateSessionStore(UpdateSession::file(), nullptr,
                         {SingleInstance::instanceKey(), [](const QString &display) {
                            return SingleInstance::isRunning(SingleInstance::runtimeFolder(AppIdentity::identifier()),
                                                             display,
                                                             RuntimeFolder::otherPlace(AppIdentity::identifier()));
                          }}) {}

QString UpdateSessionStore::firstClaimedPath() const {
  const QFileInfo file(path_);
  const QString display = instance_.display.isEmpty() ? QString() : QLatin1Char('-') + instance_.display;
  return file.absolutePath() + QLatin1Char('/') + file.completeBaseName() + QStringLiteral(".restoring") + display +
         QStringLiteral(".json");
}

QString UpdateSessionStore::claimedPath() const {
  const QString again = UpdateSession::retryPath(firstClaimedPath());
  return QFileInfo::exists(again) ? again : firstClaimedPath();
}

bool UpdateSessionStore::exists() const { return QFileInfo::exists(path_) || QFileInfo::exists(claimedPath()); }

std::vector<SessionStore::Entry> UpdateSessionStore::read() {
  source_.clear();
  keep_ = false;
  std::vector<Entry> entries;
  bool stuck = false;
  QString retry;
  const QString interrupted = UpdateSession::setAsideInterrupted(firstClaimedPath(), &stuck, &retry);
  // What the launch said about an interrupted restore makes it one that found a session.
  found_ = !interrupted.isEmpty();
  const auto outOfMemory = [&] {
    return joined(interrupted, std::make_exception_ptr(CrelError::capture(notEnoughMemory())));
  };
  // What an interrupted launch claimed is restored once more, before
  // anything new is claimed; claiming again would also write over what could
  // not be set aside.
  if (!retry.isEmpty()) {
    source_ = retry;
  } else if (!stuck) {
    try {
      switch (UpdateSession::claim(path_, firstClaimedPath(), {instance_.display, {}, instance_.machine},
                                   instance_.isRunning)) {
      case UpdateSession::Claim::claimed: source_ = firstClaimedPath(); break;
      case UpdateSession::Claim::emptied: found_ = true; break;
      case UpdateSession::Claim::none:
      case UpdateSession::Claim::theirs: break;
      }
    } catch (const FileError &) {
      // A folder that cannot change: read in place, where the memory of
      // what was restored keeps it from being restored twice.
      source_ = path_;
    } catch (const std::bad_alloc &) {
      std::rethrow_exception(outOfMemory());
    }
  }
  if (source_.isEmpty()) {
    readFailure_ = joined(interrupted, nullptr);
    return entries;
  }
  found_ = true;
  UpdateSession::ReadResult result;
  try {
    result = UpdateSession::read(source_, AnnotationPreferences::shared(), {}, memory_);
  } catch (const std::bad_alloc &) {
    // Back where the next launch looks, not set aside as a restore that died.
    if (source_ != path_)
      UpdateSession::giveBack(source_, path_);
    source_.clear();
    std::rethrow_exception(outOfMemory());
  } catch (...) {
    source_.clear();
    std::rethrow_exception(joined(interrupted, std::current_exception()));
  }
  readFailure_ = joined(interrupted, result.failure);
  keep_ = result.keep;
  digest_ = result.digest;
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
  try {
    UpdateSession::save(open, path_, {instance_.display, UpdateSession::thisProcess(), instance_.machine});
  } catch (const std::bad_alloc &) {
    throw CrelError::capture(crel::tr("There is not enough free memory to keep the open crels for the update. "
                                      "Close other programs and try again."));
  }
}

void UpdateSessionStore::clear() {
  const QString source = std::exchange(source_, {});
  if (source.isEmpty())
    return;
  // What is at the path now holds only what was not restored, or is
  // remembered as restored: either way it stays.
  if (std::exchange(keep_, false))
    return;
  try {
    UpdateSession::clear(source);
  } catch (const FileError &error) {
    // Left in place, it must not be restored over the editors shown now.
    throw CrelError::capture(error.message() + QLatin1Char(' ') + UpdateSession::rememberRestored(memory_, digest_));
  }
}

} // namespace crel
