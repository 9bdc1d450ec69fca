#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace crel {

// Writes whole files so that a reader, a crash or a killed process never
// leaves a partial file under the final name: the bytes go to a hidden
// temporary file in the same folder, are flushed to disk, and the temporary
// file is renamed over the target in one step.
class AtomicFileWriter {
public:
  enum class Existing {
    replace, // rewrite a file that is there (autosave of the same image)
    refuse,  // never overwrite: fail with EEXIST when the name is taken
  };

  // Throws FileError with a complete sentence; nothing is left behind on failure
  // and an existing file is untouched.
  static void write(const QString &path, const QByteArray &data, Existing existing = Existing::replace,
                    mode_t mode = 0644);
};

} // namespace crel
