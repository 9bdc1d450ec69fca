#pragma once

#include "platform/display/WindowServerInfo.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace crel {

// Where a screenshot came from; names its file.
struct CaptureSource {
  QString applicationName; // empty when unknown
  QString windowTitle;     // empty when none

  // The application's front titled window at layer 0, read from the window
  // server; both fields empty without an application.
  static CaptureSource current(const std::optional<RunningApplication> &application,
                               WindowServerInfo &windowServer = WindowServerInfo::system());

  // `text` made safe as a piece of a file name and cut to whole characters
  // within `byteLimit` UTF-8 bytes.
  static QString safeComponent(const QString &text, int byteLimit);

  // "<title> - <application> - yyyy-MM-dd HH.mm.ss" in local time, dropping
  // what is empty or repeated.
  QString filenameStem(const QDateTime &date) const;

  friend bool operator==(const CaptureSource &, const CaptureSource &) = default;
};

} // namespace crel
