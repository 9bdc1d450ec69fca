#pragma once

#include <QRect>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace crel {

class AnnotationPreferences;
class CrelDocument;
class SettingsStore;

// The documents open when an update installs, kept in one private JSON file
// across the relaunch: {"schema":1,"entries":[{"document":…,"frame":[[x,y],[w,h]],
// "display":…,"instance":…,"machine":…}]}. One user may run an instance per
// display, on more than one machine sharing the home, and all of them share
// the file: each entry names the machine, the display and the process that
// saved it. Files of earlier versions lack "machine" (the entry is this
// machine's) or all three (the entry belongs to whichever launch comes first).
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
  // Entries that could not be rebuilt, and where they were kept.
  std::exception_ptr failure;
  // The file was already dealt with for its unrestored entries: clear()
  // must not remove what is at the path now.
  bool keep = false;
  // SHA-256 (hex) of the bytes read, for rememberRestored().
  QByteArray digest;
};

// Who saved an entry, or who launches.
struct Owner {
  QString display;
  QString instance;
  QString machine; // empty: this machine
  bool operator==(const Owner &) const = default;
};

// This process's token for Owner::instance, the same for its whole life.
QString thisProcess();
// This machine's name for Owner::machine: its machine id, else its host name.
QString thisMachine();

// UpdateSession.json in the identifier's folder under the user's data
// folder ($XDG_DATA_HOME, else ~/.local/share). Computing it creates nothing.
QString file();

// The largest file read() reads: far more than the open screenshots of any
// session make.
constexpr qint64 maxFileBytes = qint64(2) << 30;

// Snapshots every document first: the first that cannot give one ends the
// save with its error and nothing is written, so an earlier file stays as it
// was. A record larger than `maxBytes` is not written either. Then writes
// the file atomically, 0600 from its first byte, creating a missing folder
// 0700. Entries other owners saved and nobody restored yet stay (a file that
// does not read as a record is set aside first); this owner's earlier
// entries are replaced. Under the lock claim() takes. Without the memory to
// read the waiting file, std::bad_alloc leaves it as it was. Throws
// CrelError, FileError, JsonEncodingError or std::bad_alloc.
void save(const std::vector<Open> &open, const QString &path, const Owner &owner = {}, qint64 maxBytes = maxFileBytes);

enum class Claim {
  none,    // no file
  theirs,  // only crels other running instances restore: left for them
  emptied, // nothing for anyone: the file was removed
  claimed, // `claimed` holds what this launch restores
};

// Moves the entries a launch by `launcher` (its machine and display)
// restores out of `path` into `claimed`: its display's, those saved without
// a display, and those of this machine's displays where `isRunning` says no
// instance runs; the others stay for their own display. Under the session's
// lock, so each entry goes to one launch. A file that cannot be taken
// apart (not a record) is moved whole, for read() to report. Without the
// memory to read it, std::bad_alloc leaves the file as it was. Throws
// FileError or std::bad_alloc.
Claim claim(const QString &path, const QString &claimed, const Owner &launcher,
            const std::function<bool(const QString &display)> &isRunning);

// Hands a claimed file that could not be restored now back to `path`, for
// a later launch; what was saved there meanwhile stays. Whether it is back.
bool giveBack(const QString &claimed, const QString &path) noexcept;

// The name a claimed file takes for the second attempt at its restore.
QString retryPath(const QString &claimed);

// A claimed file still there means the launch that claimed it ended before
// its restore finished. The cause may have passed (memory, a killed
// session): it moves to retryPath(), and `retry` names it for this launch
// to restore again. A second attempt's file still there would end this
// launch as well: it is set aside under a name of its own, never restored.
// The sentence saying so, empty when nothing was set aside; `stuck` is set
// when a file could not be moved.
QString setAsideInterrupted(const QString &claimed, bool *stuck = nullptr, QString *retry = nullptr);

// The saved documents, rebuilt. An absent file gives none. Only a regular
// file is read, without blocking and up to a size limit. Without the memory
// to read or rebuild it, std::bad_alloc leaves the file as it was and
// returns nothing. A file that cannot be read as a whole (or is no file)
// is set aside under a name of its own,
// never over another file, and a CrelError naming it is thrown. An entry
// that does not decode or rebuild is one failed entry: the rest are
// returned, `failure` says how many failed and where they are kept, and
// `keep` is set. They are kept in the set-aside file; failing that, the
// file is rewritten atomically to hold only them; failing that too, its
// digest is remembered in `memory`, so that neither a later save overwrites
// what was not restored nor a later read restores the rest again. A file remembered so is not restored; it is set aside
// and reported. A document whose recorded file may not be written over gets a new one in `savedImagesFolder`
// (CrelDocument::restoreAfterUpdate).
ReadResult read(const QString &path, AnnotationPreferences &preferences, const QString &savedImagesFolder = {},
                SettingsStore *memory = nullptr);

// Remembers a restored session that could not be removed, so that read()
// does not restore it again; the sentence telling the user so (or, without a
// memory that keeps it, what to do instead).
QString rememberRestored(SettingsStore *memory, const QByteArray &digest);

// Removes the file if it is there; the folder stays. Throws FileError.
void clear(const QString &path);

} // namespace UpdateSession

} // namespace crel
