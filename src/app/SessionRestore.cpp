#include "SessionRestore.h"

#include "SessionStore.h"
#include "ShellRules.h"
#include "document/CrelError.h"
#include "document/EditorSizePreferences.h"
#include "editor/EditorController.h"
#include "platform/base/Translate.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

#include <optional>

namespace crel {

namespace {

QList<QRect> availableAreas() {
  QList<QRect> areas;
  for (const QScreen *screen : QGuiApplication::screens())
    areas.append(screen->availableGeometry());
  return areas;
}

QString describe(const std::exception_ptr &error) {
  return CrelError::describe(error, crel::tr("An unknown error occurred."));
}

} // namespace

bool SessionRestore::restore(SessionStore &session, const Hooks &hooks) {
  if (!session.exists())
    return false;
  std::vector<SessionStore::Entry> entries;
  try {
    entries = session.read();
  } catch (...) {
    // The store set the file aside, or remembered not to read it again; its sentence says which.
    hooks.report(describe(std::current_exception()));
    return true;
  }
  if (!session.readFoundSession())
    return false;
  for (SessionStore::Entry &entry : entries) {
    auto editor = std::make_unique<EditorController>(std::move(entry.document), EditorSizePreferences::shared());
    EditorController &restored = *editor;
    hooks.connectEditor(std::move(editor));
    // The client area it was saved as, whether the window manager framed it yet or not.
    if (const std::optional<QRect> frame = ShellRules::restoredFrame(entry.frame, availableAreas()))
      restored.presentAt(*frame);
    else
      restored.present();
  }
  try {
    session.clear();
  } catch (...) {
    hooks.report(describe(std::current_exception()));
  }
  // What the restore did differently and what it could not do, in one alert.
  QStringList said;
  for (const SessionStore::Entry &entry : entries)
    if (!entry.notice.isEmpty())
      said << entry.notice;
  if (const std::exception_ptr failure = session.takeReadFailure())
    said << describe(failure);
  if (!said.isEmpty())
    hooks.report(said.join(QStringLiteral("\n\n")));
  return true;
}

} // namespace crel
