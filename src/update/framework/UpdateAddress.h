#pragma once

#include <QUrl>

namespace crel::update {

// Where feeds and archives may come from: https anywhere; plain http only
// from a loopback address (127.0.0.0/8, ::1) and file: URLs, for tests and
// local mirrors.
class UpdateAddress {
public:
  static bool isPermitted(const QUrl &url);
  // Where a server may send a download on: the same rule without file: URLs,
  // whatever the first address was.
  static bool isPermittedRedirect(const QUrl &url);
};

} // namespace crel::update
