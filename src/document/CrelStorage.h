#pragma once

#include <QString>

namespace crel {

// The saved-images folder: creating it and choosing free file names in it.
// Paths are local file paths.
class CrelStorage {
public:
  CrelStorage() = delete;

  // Creates the folder and any missing parents; succeeds when it already
  // exists and returns the path unchanged. Throws FileError naming the folder
  // that could not be made (for instance a file in the way).
  static QString prepareDirectory(const QString &directory);

  // Prepares the folder, then returns the first name not yet taken there:
  // "<stem>.png", else "<stem> (2).png", "<stem> (3).png", … Any entry counts
  // as taken (file, folder, dangling link), so an existing image is never chosen.
  static QString availableURL(const QString &directory, const QString &stem);

  // The user's Pictures folder (XDG) plus the application's name; not created here.
  static QString defaultDirectory();
  // The same folder for display, the home folder written as "~".
  static QString defaultDirectoryDisplayPath();
  // Any path for display: inside the home folder it starts with "~".
  static QString displayPath(const QString &path);
};

} // namespace crel
