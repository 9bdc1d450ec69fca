#pragma once

#include "BundleInfo.h"

#include <QByteArray>
#include <QString>

namespace crel::update {

// What an unpacked update must be before it may replace the running
// application: one top-level application folder whose Info.json names our
// identifier, the offered version and the same update key, with an
// executable bin/crel.
class StagedBundle {
public:
  struct Expectation {
    QString identifier;
    QString version;
    QByteArray publicEdKey;
  };

  // The application folder inside `stagingRoot`. Throws UpdateError (validation).
  static QString validate(const QString &stagingRoot, const Expectation &expected);
  // Checks one application folder itself (the installer's second look).
  static BundleInfo validateBundle(const QString &bundleDirectory, const Expectation &expected);
};

} // namespace crel::update
