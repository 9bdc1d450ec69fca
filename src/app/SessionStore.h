#pragma once

#include "document/CrelDocument.h"
#include "platform/base/Translate.h"

#include <QRect>

#include <exception>
#include <memory>
#include <vector>

namespace crel {

class EditorController;

// The editors an update relaunch left to reopen, saved by the updater. This
// base holds none; the updater supplies the real file.
class SessionStore {
public:
  struct Entry {
    std::unique_ptr<CrelDocument> document;
    QRect frame;    // the window's client area, global top-left coordinates
    QString notice; // what the restore did differently, for the user
  };

  virtual ~SessionStore() = default;
  // Said when a restore cannot have the memory it needs now.
  static QString notEnoughMemory() {
    return crel::tr("There is not enough free memory to restore the crels kept for the update. They stay saved, and "
                    "the next start of Crel tries again.");
  }
  virtual bool exists() const { return false; }
  // The saved editors in order; throws CrelError with the sentence to show.
  virtual std::vector<Entry> read() { return {}; }
  // After a read that returned what it could: why the rest was not restored.
  virtual std::exception_ptr takeReadFailure() { return nullptr; }
  // After a read: whether the store held a session for this launch, not
  // only other running instances' crels.
  virtual bool readFoundSession() const { return true; }
  // Keeps the open editors for the relaunch; throws with the sentence to show.
  virtual void save(const std::vector<std::unique_ptr<EditorController>> &) {}
  // Removes the file of a restored session; what the read kept for a later
  // launch stays. Throws CrelError on failure.
  virtual void clear() {}
};

} // namespace crel
