#include "SnapshotError.h"

#include "platform/base/Translate.h"

namespace crel {

namespace {

QString declinedBeside() {
  return tr("If it was not that, the desktop declined the screenshot: allow this application to take screenshots when "
            "your desktop asks, or in the privacy section of your desktop's settings.");
}

// The value is the user's own text, which may be any length.
QString notFullPath(const UserFolders::Setting &setting) {
  constexpr qsizetype shown = 40;
  QString value = setting.value;
  if (value.size() > shown) {
    value.truncate(value.at(shown - 2).isHighSurrogate() ? shown - 2 : shown - 1);
    value += u'…';
  }
  return tr("Your desktop's Pictures folder is set to “%1”, which is not a full path and likely the cause: set a full "
            "path in %2, then start a new capture.")
      .arg(value, setting.file);
}

} // namespace

SnapshotError::SnapshotError(Kind kind, const QString &message)
    : kind_(kind), message_(message), utf8_(message.toStdString()) {}

SnapshotError SnapshotError::noDisplay() { return {Kind::noDisplay, tr("No display is available to capture.")}; }

SnapshotError SnapshotError::displayChanged() {
  return {Kind::displayChanged, tr("A display changed. Start a new capture on an available display.")};
}

SnapshotError SnapshotError::readRefused() {
  return {Kind::permissionDeclined, tr("The X server refused to let this application read the screen. Allow it to read "
                                       "the screen, then start a new capture.")};
}

SnapshotError SnapshotError::waylandSession() {
  return {Kind::permissionDeclined, tr("This Wayland session does not let applications read the screen through X11. "
                                       "Log in to an X11 session to capture the screen.")};
}

SnapshotError SnapshotError::screenshotDeclined() {
  return {Kind::permissionDeclined, tr("The desktop declined the screenshot. Allow this application to take "
                                       "screenshots when your desktop asks, or in the privacy section of your "
                                       "desktop's settings, then start a new capture.")};
}

SnapshotError SnapshotError::noPortal() {
  return {Kind::failed, tr("No desktop portal runs in this session, so the screen cannot be read. Install "
                           "xdg-desktop-portal and the portal backend for your desktop (xdg-desktop-portal-wlr for "
                           "sway and other wlroots desktops, xdg-desktop-portal-gnome for GNOME, "
                           "xdg-desktop-portal-kde for Plasma), log in again, then start a new capture.")};
}

SnapshotError SnapshotError::noScreenshotBackend() {
  return {Kind::failed, tr("The desktop portal has no screenshot backend for this desktop. Install the portal "
                           "backend for your desktop (xdg-desktop-portal-wlr for sway and other wlroots desktops, "
                           "xdg-desktop-portal-gnome for GNOME, xdg-desktop-portal-kde for Plasma), restart "
                           "xdg-desktop-portal or log in again, then start a new capture.")};
}

SnapshotError SnapshotError::noAccessBackend() {
  return {Kind::failed, tr("The desktop portal has a screenshot backend but no Access backend, without which it "
                           "offers no screenshots. Install the portal backend that provides it for your desktop "
                           "(xdg-desktop-portal-gtk beside xdg-desktop-portal-wlr on sway and other wlroots "
                           "desktops; GNOME's and Plasma's own backends provide it), restart xdg-desktop-portal or "
                           "log in again, then start a new capture.")};
}

SnapshotError SnapshotError::screenshotBackendFailed(const QString &detail) {
  const QString reason = detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(detail);
  return {Kind::failed, tr("The desktop portal's screenshot backend failed%1. Make sure it can run "
                           "(xdg-desktop-portal-wlr needs grim and a running PipeWire), then start a new capture.")
                            .arg(reason)};
}

SnapshotError SnapshotError::picturesFolderMissing(const QString &folder, const QString &reason) {
  return {Kind::failed, tr("Your desktop saves screenshots into the folder %1, which is missing. %2 Make that folder, "
                           "then start a new capture.")
                            .arg(folder, reason)};
}

SnapshotError SnapshotError::picturesFolderCannotTake(const QString &folder, UserFolders::Room room) {
  // MB as the updater counts them; never more than is free.
  constexpr qint64 megabyte = 1024 * 1024;
  QString cause;
  if (room.kind != UserFolders::Room::full)
    cause = tr("Your desktop saves screenshots into the folder %1, which is read-only. Make it writable, then start a "
               "new capture.")
                .arg(folder);
  else if (room.freeBytes <= 0)
    cause = tr("Your desktop saves screenshots into the folder %1, which has no free space. Free some space on its "
               "disk, then start a new capture.")
                .arg(folder);
  else
    cause = tr("Your desktop saves screenshots into the folder %1, which has too little free space (%2). Free some "
               "space on its disk, then start a new capture.")
                .arg(folder, room.freeBytes < megabyte ? tr("less than 1 MB free")
                                                       : tr("%1 MB free").arg(room.freeBytes / megabyte));
  return {Kind::failed, cause + u' ' + declinedBeside()};
}

SnapshotError SnapshotError::picturesFolderNotFullPath(const UserFolders::Setting &setting) {
  return {Kind::failed, notFullPath(setting) + u' ' + declinedBeside()};
}

SnapshotError SnapshotError::incompletePicturePath(const UserFolders::Setting &setting) {
  const QString what = tr("The desktop named its screenshot by an incomplete path, so it could not be read.");
  return {Kind::failed, what + u' ' + (setting.value.isEmpty() ? tr("Start a new capture.") : notFullPath(setting))};
}

SnapshotError SnapshotError::failed() {
  return {Kind::failed, tr("The display could not be captured. Start a new capture.")};
}

} // namespace crel
