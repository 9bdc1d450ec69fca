#include "platform/files/JsonReader.h"
#include "update/framework/BundleInfo.h"
#include "update/framework/UpdateAddress.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace crel;
using namespace crel::update;

namespace {

const char *const publicKeyBase64 = "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=";

QJsonObject dictionary(const char *json) {
  return QJsonDocument::fromJson(QByteArray(R"({"CFBundleIdentifier":"co.quorvex.crel","CFBundleVersion":"100")") +
                                 json + "}")
      .object();
}

// The message of the decoding error, or empty when it reads.
std::string failure(const QJsonObject &info) {
  try {
    BundleInfo::fromInfoDictionary(info);
  } catch (const JsonDecodingError &e) {
    return e.what();
  }
  return {};
}

TEST(BundleInfo, ReadsUpdateSettingsAndFallsBackOnlyForMissingKeys) {
  const BundleInfo minimal = BundleInfo::fromInfoDictionary(dictionary(""), "/opt/Crel.app");
  EXPECT_EQ(minimal.directory, "/opt/Crel.app");
  EXPECT_EQ(minimal.shortVersion, "100");
  EXPECT_EQ(minimal.displayName, "co.quorvex.crel");
  EXPECT_EQ(minimal.updates, UpdateSettings());

  const BundleInfo full = BundleInfo::fromInfoDictionary(dictionary(
      R"(,"CFBundleShortVersionString":"1.0","CFBundleName":"Crel","SUFeedURL":"https://updates.example/appcast.json",
      "SUPublicEDKey":"11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=","SURequireSignedFeed":false,
      "SUVerifyUpdateBeforeExtraction":false,"SUScheduledCheckInterval":7200,"SUEnableAutomaticChecks":true,
      "SUEnableSystemProfiling":true)"));
  EXPECT_EQ(full.displayName, "Crel");
  EXPECT_EQ(full.userAgent(), "Crel/1.0");
  const UpdateSettings expected{QUrl("https://updates.example/appcast.json"), QByteArray::fromBase64(publicKeyBase64),
                                false, 7200, true};
  EXPECT_EQ(full.updates, expected);

  // An unconfigured build: empty address and key read as absent.
  const BundleInfo blank = BundleInfo::fromInfoDictionary(dictionary(R"(,"SUFeedURL":"","SUPublicEDKey":"")"));
  EXPECT_TRUE(blank.updates.feedUrl.isEmpty());
  EXPECT_TRUE(blank.updates.publicEdKey.isEmpty());
}

TEST(BundleInfo, RefusesMistypedOrUnsafeSettingsNamingTheKey) {
  const std::pair<QJsonObject, const char *> cases[] = {
      {QJsonDocument::fromJson(R"({"CFBundleVersion":"100"})").object(), "Info.json.CFBundleIdentifier: is missing"},
      {QJsonDocument::fromJson(R"({"CFBundleIdentifier":"x","CFBundleVersion":" "})").object(),
       "Info.json.CFBundleVersion: expected a non-empty string"},
      {dictionary(R"(,"SURequireSignedFeed":"true")"), "Info.json.SURequireSignedFeed: expected a boolean"},
      {dictionary(R"(,"SUScheduledCheckInterval":0)"),
       "Info.json.SUScheduledCheckInterval: expected a number of seconds between 1 and a year"},
      {dictionary(R"(,"SUFeedURL":"http://updates.example/appcast.json")"),
       "Info.json.SUFeedURL: expected an https address"},
      {dictionary(R"(,"SUPublicEDKey":"not base64!")"), "Info.json.SUPublicEDKey: expected Base64 data"},
      {dictionary(R"(,"SUPublicEDKey":"AAAA")"),
       "Info.json.SUPublicEDKey: expected the Base64 of a 32-byte Ed25519 public key"},
  };
  for (const auto &[info, message] : cases)
    EXPECT_EQ(failure(info), message);
}

TEST(UpdateAddress, AllowsPlainTransportOnlyOnThisMachine) {
  const std::pair<const char *, bool> cases[] = {
      {"https://updates.example/appcast.json", true},
      {"http://127.0.0.1:8080/appcast.json", true},
      {"http://[::1]:8080/appcast.json", true},
      {"file:///srv/mirror/appcast.json", true},
      {"http://localhost/appcast.json", false},
      {"http://updates.example/appcast.json", false},
      {"http://10.0.0.1/appcast.json", false},
      {"file://server/share/appcast.json", false},
      {"https:///appcast.json", false},
      {"appcast.json", false},
  };
  for (const auto &[url, permitted] : cases)
    EXPECT_EQ(UpdateAddress::isPermitted(QUrl(url)), permitted) << url;
}

} // namespace
