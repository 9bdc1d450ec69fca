#pragma once

#include <QRect>
#include <QString>

#include <exception>
#include <memory>
#include <vector>

namespace crel {

class AnnotationPreferences;
class CrelDocument;

// The documents open when an update installs, kept in one private JSON file
// across the relaunch: {"schema":1,"entries":[{"document":…,"frame":[[x,y],[w,h]]}]}.
// Frames are the windows' client areas (without the window manager's
// decorations) in Qt's global coordinates (origin top-left of the virtual
// desktop), all zeros for an editor without a window.
namespace UpdateSession {

struct Open {
  CrelDocument &document;
  QRect frame;
};

struct Restored {
  std::unique_ptr<CrelDocument> document;
  QRect frame;
  // Set when the document now saves to another file than the record named.
  QString notice;
};

struct ReadResult {
  std::vector<Restored> entries; // file order
  // Entries that could not be rebuilt; they stay in the set-aside file.
  std::exception_ptr failure;
};

// UpdateSession.json in the identifier's folder under the user's data
// folder ($XDG_DATA_HOME, else ~/.local/share). Computing it creates nothing.
QString file();

// Snapshots every document first: the first that cannot give one ends the
// save with its error and nothing is written, so an earlier file stays as it
// was. Then writes the file atomically, 0600 from its first byte, creating a
// missing folder 0700. Throws CrelError, FileError or JsonEncodingError.
void save(const std::vector<Open> &open, const QString &path);

// The saved documents, rebuilt. An absent file gives none. A file that cannot
// be read as a whole is renamed aside (never over another file) and a
// CrelError naming the new name is thrown; when only some entries fail, the
// rest are returned, the file is set aside the same way and `failure` says
// so. Either way a later save cannot overwrite what was not restored.
// A document whose recorded file may not be written over gets a new one in
// `savedImagesFolder` (CrelDocument::restoreAfterUpdate).
ReadResult read(const QString &path, AnnotationPreferences &preferences, const QString &savedImagesFolder = {});

// Removes the file if it is there; the folder stays. Throws FileError.
void clear(const QString &path);

} // namespace UpdateSession

} // namespace crel
