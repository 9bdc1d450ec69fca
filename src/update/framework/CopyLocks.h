#pragma once

#include <QString>

namespace crel {
class FileLock;
}

namespace crel::update {

// The copies' locks in the user's runtime folder (Updater::copyLockFile):
// each names the copy it stands for, so that the lock of a copy that no
// longer exists can be told and removed.
namespace CopyLocks {

// Writes the copy's folder into `lock`, held shared by this instance (every
// instance of the copy writes the same bytes).
void name(FileLock &lock, const QString &bundleDirectory);

// Removes the copy locks in `runtimeFolder` other than `keep` whose copy is
// gone or unknown: each only under an exclusive lock on it, so never one an
// instance or an installer holds (an installer swapping a copy holds it
// exclusively while the copy is briefly absent).
void removeAbandoned(const QString &runtimeFolder, const QString &keep);

} // namespace CopyLocks

} // namespace crel::update
