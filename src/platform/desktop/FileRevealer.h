#pragma once

#include "FolderOpener.h"

#include <QString>
#include <QUrl>

#include <functional>

namespace crel {

// Shows a file selected in the desktop's file manager.
class FileRevealer {
public:
  virtual ~FileRevealer() = default;
  using Failed = std::function<void()>;
  // `path` is an existing local file. `failed` (when set) is called, perhaps
  // later, when nothing could show it: the user is then told.
  virtual void reveal(const QString &path, Failed failed) = 0;

  // The desktop's file manager (DesktopFileRevealer on the session bus).
  static FileRevealer &system();
};

// Asks org.freedesktop.FileManager1 on the session bus to show the file
// selected. Without a bus, or when no file manager answers the call, it
// opens the file's folder instead; it fails when that cannot be opened either.
class DesktopFileRevealer : public FileRevealer {
public:
  // Opens a folder, then says whether anything could.
  using OpenFolder = std::function<void(const QUrl &folder, std::function<void(bool opened)> done)>;
  // Empty `openFolder`: the desktop's handler for folders (FolderOpener).
  explicit DesktopFileRevealer(OpenFolder openFolder = {});
  void reveal(const QString &path, Failed failed) override;

  static constexpr const char *service = FolderOpener::service;
  static constexpr const char *objectPath = FolderOpener::objectPath;

private:
  OpenFolder openFolder_;
};

} // namespace crel
