#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/types.h>

namespace crel {

// Writes whole files so that a reader, a crash or a killed process never
// leaves a partial file under the final name: the bytes go to a hidden
// temporary file in the same folder, are flushed to disk, and the temporary
// file is renamed over the target in one step.
//
// The temporary file of a target has one fixed name, ".<name>.crel-tmp", so a
// writer killed mid-write leaves at most one behind per target, and every
// write removes such leftovers from its folder. A temporary file is locked
// while it is written, which tells a leftover from one in use.
class AtomicFileWriter {
public:
  enum class Existing {
    replace, // rewrite a file that is there (autosave of the same image)
    refuse,  // never overwrite: fail with EEXIST when the name is taken
  };

  // Without a mode the file is an ordinary document: a new one gets 0666
  // masked by the umask, a replaced one keeps its mode. Private files pass
  // their mode (0600) and get exactly that.
  // Throws FileError with a complete sentence; nothing is left behind on failure
  // and an existing file is untouched.
  static void write(const QString &path, const QByteArray &data, Existing existing = Existing::replace,
                    std::optional<mode_t> mode = std::nullopt);

  // Renames `from` to `to` unless `to` exists, in one step where the file
  // system can (a hard link where it cannot rename without replacing); false
  // with errno set (EEXIST for a taken name) otherwise.
  static bool moveNoReplace(const QString &from, const QString &to);
};

} // namespace crel
