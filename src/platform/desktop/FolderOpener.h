#pragma once

#include <QUrl>

#include <functional>

namespace crel {

// Opens a folder in the desktop's file manager and tells whether anything
// could: org.freedesktop.FileManager1 on the session bus first, else
// xdg-open, whose exit status tells a desktop without a handler for folders
// (QDesktopServices reports success as soon as xdg-open has started).
class FolderOpener {
public:
  using Done = std::function<void(bool opened)>;
  // xdg-open runs some file managers in the foreground: still running after
  // this long, it started one.
  static constexpr int handlerSettleMs = 3000;

  // `done` runs once, later, on this thread's event loop.
  static void open(const QUrl &folder, Done done);
  // The desktop's handler for folders alone, through xdg-open.
  static void openWithHandler(const QUrl &folder, Done done);

  static constexpr const char *service = "org.freedesktop.FileManager1";
  static constexpr const char *objectPath = "/org/freedesktop/FileManager1";
};

} // namespace crel
