#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>

namespace crel::update {

// The updater's settings, under the application directory's Info.json keys
// of the same names ("SUFeedURL", "SUPublicEDKey", "SURequireSignedFeed",
// "SUScheduledCheckInterval", "SUEnableAutomaticChecks"). A missing key takes
// the default below; an empty feed address or key means "not configured".
// Archives are always verified before extraction and nothing about the
// system is ever sent, whatever "SUVerifyUpdateBeforeExtraction" and
// "SUEnableSystemProfiling" say, so those two are not read.
struct UpdateSettings {
  QUrl feedUrl;
  QByteArray publicEdKey; // 32 raw bytes; Info.json holds Base64
  bool requireSignedFeed = true;
  int scheduledCheckInterval = 3600; // seconds
  bool enableAutomaticChecks = false;

  bool operator==(const UpdateSettings &) const = default;
};

// What the update layer needs to know of one application directory: its
// identity, its build number (compared with a feed's versions) and its
// update settings. Reads any directory, so that a staged update can be
// checked against the running one.
struct BundleInfo {
  QString directory;
  QString identifier;   // "CFBundleIdentifier"
  QString displayName;  // "CFBundleDisplayName", else "CFBundleName"
  QString version;      // "CFBundleVersion": the build number
  QString shortVersion; // "CFBundleShortVersionString": shown to people
  UpdateSettings updates;

  bool operator==(const BundleInfo &) const = default;

  // Strict: a key of the wrong type, a malformed key or feed address, or a
  // missing identifier or version throws JsonDecodingError naming the key.
  static BundleInfo fromInfoDictionary(const QJsonObject &info, const QString &directory = {});
  // Reads <directory>/Info.json; throws FileError when it cannot be read and
  // JsonDecodingError when it is not a valid dictionary.
  static BundleInfo load(const QString &directory);
  // The running application's directory (see ResourceLocator).
  static BundleInfo current();

  // "Crel/<short version>": the whole User-Agent, no system profile.
  QByteArray userAgent() const;
};

} // namespace crel::update
