#pragma once

#include "platform/files/UserFolders.h"

#include <QString>

#include <exception>
#include <string>

namespace crel {

// Why the displays could not be frozen, with the sentence the user sees.
class SnapshotError : public std::exception {
public:
  enum class Kind {
    noDisplay,
    displayChanged,
    // The system will not let us read the screen (the X server refused the
    // read, the desktop portal declined the screenshot, or a Wayland session
    // where X reads would come back black).
    permissionDeclined,
    failed,
  };

  SnapshotError(Kind kind, const QString &message);
  static SnapshotError noDisplay();
  static SnapshotError displayChanged();
  static SnapshotError readRefused();
  static SnapshotError waylandSession();
  static SnapshotError screenshotDeclined();
  // The desktop portal: not on the session bus, without a screenshot backend
  // for this desktop or without the Access backend it needs beside one, or
  // its backend failed (with the backend's words).
  static SnapshotError noPortal();
  static SnapshotError noScreenshotBackend();
  static SnapshotError noAccessBackend();
  static SnapshotError screenshotBackendFailed(const QString &detail = {});
  // The portal failed while the Pictures folder, where some backends save
  // the screenshot, is missing and could not be made for the `reason` given.
  static SnapshotError picturesFolderMissing(const QString &folder, const QString &reason);
  // The portal declined while that folder could not take the picture, for
  // the `room` it has (the likely cause; the desktop's refusal the other).
  static SnapshotError picturesFolderCannotTake(const QString &folder, UserFolders::Room room);
  // The portal declined while the desktop names a Pictures folder by no full
  // path (the likely cause; the desktop's refusal the other).
  static SnapshotError picturesFolderNotFullPath(const UserFolders::Setting &setting);
  // The portal named its picture by no full local path (file:relpics/x.png,
  // file://host/x.png); nothing was read. A Pictures folder the desktop
  // names by no full path is named as the likely cause.
  static SnapshotError incompletePicturePath(const UserFolders::Setting &setting = {});
  static SnapshotError failed();

  Kind kind() const { return kind_; }
  const QString &message() const { return message_; }
  const char *what() const noexcept override { return utf8_.c_str(); }

private:
  Kind kind_;
  QString message_;
  std::string utf8_;
};

} // namespace crel
