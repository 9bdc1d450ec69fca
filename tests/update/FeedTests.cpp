#include "update/framework/Appcast.h"
#include "update/framework/AppcastEnvelope.h"
#include "update/framework/Ed25519.h"
#include "update/framework/UpdateFeed.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <functional>

using namespace crel::update;

namespace {

const QUrl feedUrl(QStringLiteral("https://updates.example/crel/appcast.json"));

struct Keys {
  Ed25519::KeyPair ours = Ed25519::generate();
  Ed25519::KeyPair theirs = Ed25519::generate();
};

const Keys &keys() {
  static const Keys k;
  return k;
}

AppcastItem item(const char *version, const char *architecture = "") {
  AppcastItem i;
  i.version = QString::fromLatin1(version);
  i.displayVersionString = i.version;
  i.architecture = QString::fromLatin1(architecture);
  i.archiveUrl = QUrl(QStringLiteral("Crel-%1.tar.gz").arg(i.version));
  i.length = 1234;
  i.edSignature = Ed25519::sign(i.version.toUtf8(), keys().ours.seed);
  return i;
}

QByteArray feed(const QList<AppcastItem> &items, const char *identifier = "co.quorvex.crel") {
  return AppcastEnvelope::seal(Appcast{QString::fromLatin1(identifier), {}, items}.encodePayload(), keys().ours.seed);
}

// The envelope as JSON with `change` applied to it.
QByteArray edited(const QByteArray &envelope, const std::function<void(QJsonObject &)> &change) {
  QJsonObject o = QJsonDocument::fromJson(envelope).object();
  change(o);
  return QJsonDocument(o).toJson();
}

// A feed whose payload is `payload` exactly, correctly signed.
QByteArray signedPayload(const QByteArray &payload) { return AppcastEnvelope::seal(payload, keys().ours.seed); }

// A signed payload with one item whose archive object is `archive`.
QByteArray withArchive(const QByteArray &archive) {
  return signedPayload(R"({"identifier":"co.quorvex.crel","items":[{"version":"101","archive":)" + archive + "}]}");
}

QByteArray withArchive(const char *url, const char *length) {
  const QByteArray signature = Ed25519::sign("x", keys().ours.seed).toBase64();
  return withArchive(QByteArray(R"({"url":")") + url + R"(","length":)" + length + R"(,"edSignature":")" + signature +
                     "\"}");
}

FeedContext context(const char *current = "100") {
  FeedContext c;
  c.identifier = QStringLiteral("co.quorvex.crel");
  c.feedUrl = feedUrl;
  c.publicEdKey = keys().ours.publicKey;
  c.currentVersion = QString::fromLatin1(current);
  c.currentDisplayVersion = QStringLiteral("1.0");
  c.displayName = QStringLiteral("Crel");
  c.architecture = QStringLiteral("x86_64");
  c.systemVersion = QStringLiteral("2.36");
  return c;
}

struct Case {
  const char *name;
  QByteArray envelope;
  FeedContext context;
  const char *expectedVersion; // nullptr: no item
  UpdateErrorCode expectedError;
};

// Downgrades, reinstalls, a feed signed by another key and an unsigned feed
// are refused by the end-to-end run on the real application.
TEST(UpdateFeed, OffersOnlyATrustedStrictlyNewerItemForThisMachineAndExplainsEveryRefusal) {
  const QByteArray good = feed({item("101", "x86_64")});
  FeedContext unsignedAllowed = context();
  unsignedAllowed.requireSignedFeed = false;
  FeedContext skipping101 = context();
  skipping101.skippedVersion = QStringLiteral("101");
  FeedContext otherKey = context();
  otherKey.publicEdKey = keys().theirs.publicKey;
  AppcastItem needsNewerSystem = item("101");
  needsNewerSystem.minimumSystemVersion = QStringLiteral("2.40");
  AppcastItem runsOnOurSystem = item("101");
  runsOnOurSystem.minimumSystemVersion = QStringLiteral("2.36");

  const auto tamperedPayload = edited(good, [](QJsonObject &o) {
    QByteArray payload = QByteArray::fromBase64(o["payload"].toString().toLatin1());
    payload.replace("\"101\"", "\"901\"");
    o["payload"] = QString::fromLatin1(payload.toBase64());
  });
  const auto unsignedFeed = edited(good, [](QJsonObject &o) { o.remove("signature"); });
  const auto noUpdate = UpdateErrorCode::noUpdate;
  const auto parse = UpdateErrorCode::appcastParse;
  const auto signature = UpdateErrorCode::feedSignature;

  const Case cases[] = {
      {"newer item", good, context(), "101", noUpdate},
      {"newest of several, in any order", feed({item("9"), item("11"), item("10")}), context("8"), "11", noUpdate},
      {"any architecture", feed({item("101")}), context(), "101", noUpdate},
      {"other architecture only", feed({item("101", "arm64")}), context(), nullptr, noUpdate},
      {"own architecture beats a newer foreign one", feed({item("102", "arm64"), item("101", "x86_64")}), context(),
       "101", noUpdate},
      {"system too old", feed({needsNewerSystem}), context(), nullptr, noUpdate},
      {"system just new enough", feed({runsOnOurSystem}), context(), "101", noUpdate},
      {"empty feed", feed({}), context(), nullptr, noUpdate},
      {"skipped version", feed({item("101")}), skipping101, nullptr, noUpdate},
      {"newer than the skipped version", feed({item("101"), item("102")}), skipping101, "102", noUpdate},
      {"another identifier", feed({item("101")}, "co.quorvex.other"), context(), nullptr,
       UpdateErrorCode::feedIdentity},
      {"tampered payload", tamperedPayload, context(), nullptr, signature},
      {"our feed, but another key expected", good, otherKey, nullptr, signature},
      {"unsigned where signatures are optional", unsignedFeed, unsignedAllowed, "101", noUpdate},
      {"not JSON", "{\"format\": \"crel-appcast\",", context(), nullptr, parse},
      {"another format", edited(good, [](QJsonObject &o) { o["format"] = "rss"; }), context(), nullptr, parse},
      {"a newer format", edited(good, [](QJsonObject &o) { o["formatVersion"] = 2; }), context(), nullptr, parse},
      {"payload not Base64", edited(good, [](QJsonObject &o) { o["payload"] = "*"; }), context(), nullptr, parse},
      {"oversized", good + QByteArray(AppcastEnvelope::maximumSize, ' '), context(), nullptr, parse},
      {"signed payload not JSON", signedPayload("{\"identifier\""), context(), nullptr, parse},
      {"item without archive", signedPayload(R"({"identifier":"co.quorvex.crel","items":[{"version":"101"}]})"),
       context(), nullptr, parse},
      {"archive without signature", withArchive(QByteArray(R"({"url":"a.tar.gz","length":1})")), context(), nullptr,
       parse},
      {"short archive signature", withArchive(QByteArray(R"({"url":"a.tar.gz","length":1,"edSignature":"AAAA"})")),
       context(), nullptr, parse},
      {"empty archive", withArchive("a.tar.gz", "0"), context(), nullptr, parse},
      {"archive over 2 GiB", withArchive("a.tar.gz", "2147483649"), context(), nullptr, parse},
      {"version hidden or climbing", feed({item(".101"), item("101..2")}), context(), nullptr, parse},
      {"version too long", feed({item(std::string(65, '1').c_str())}), context(), nullptr, parse},
      {"archive over plain http", withArchive("http://updates.example/a.tar.gz", "1"), context(), nullptr, parse},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const FeedVerdict verdict = UpdateFeed::evaluate(c.envelope, c.context);
    ASSERT_NE(verdict.item.has_value(), verdict.error.has_value());
    if (c.expectedVersion) {
      ASSERT_TRUE(verdict.item);
      EXPECT_EQ(verdict.item->version, QString::fromLatin1(c.expectedVersion));
    } else {
      ASSERT_TRUE(verdict.error);
      EXPECT_EQ(verdict.error->code(), c.expectedError) << verdict.error->description().toStdString();
      EXPECT_TRUE(verdict.error->description().endsWith(u'.')) << verdict.error->description().toStdString();
    }
  }
}

TEST(UpdateFeed, RefusalsSaySoInWords) {
  const struct {
    QByteArray envelope;
    const char *sentence;
  } cases[] = {
      {feed({item("99")}), "Crel 1.0 is the newest version available."},
      {feed({item("101")}, "co.quorvex.other"),
       "The update information is for another app (“co.quorvex.other”), so it was ignored."},
      {feed({item("101")}).replace("\"payload\":\"", "\"payload\":\"ICAg"),
       "The update information isn’t signed by the maker of this app, so it was ignored."},
      {signedPayload(
           R"({"identifier":"co.quorvex.crel","items":[{"version":"101","archive":{"url":"a","length":"1"}}]})"),
       "The update information is damaged or in a format this version can’t read (items[0].archive.length: expected "
       "a number)."},
      {feed({item("101/..")}),
       "The update information is damaged or in a format this version can’t read (items[0].version: "
       "expected a plain version string)."},
  };
  for (const auto &c : cases)
    EXPECT_EQ(UpdateFeed::evaluate(c.envelope, context()).error->description().toStdString(), c.sentence);
}

// Every field a release tool writes is read back in the tool's own test.
TEST(UpdateFeed, ItemsSurviveTheRoundTripWithAddressesResolvedAgainstTheFeed) {
  AppcastItem full = item("101", "x86_64");
  full.displayVersionString = QStringLiteral("1.1 “Lark”");
  full.releaseNotes = QStringLiteral("Line one\nLine two – with ümlauts");
  full.length = AppcastItem::maximumArchiveLength;
  AppcastItem elsewhere = item("102");
  elsewhere.archiveUrl = QUrl(QStringLiteral("https://mirror.example/Crel%20102.tar.gz"));
  AppcastItem nested = item("103");
  nested.archiveUrl = QUrl(QStringLiteral("../archives/Crel-103.tar.gz"));
  AppcastItem local = item("104");
  local.archiveUrl = QUrl(QStringLiteral("http://127.0.0.1:8080/Crel-104.tar.gz"));
  const Appcast written{QStringLiteral("co.quorvex.crel"),
                        QDateTime(QDate(2025, 5, 2), QTime(8, 30), Qt::UTC),
                        {full, elsewhere, nested, local}};

  const Appcast read = UpdateFeed::read(AppcastEnvelope::seal(written.encodePayload(), keys().ours.seed), context());
  Appcast expected = written;
  expected.items[0].archiveUrl = QUrl(QStringLiteral("https://updates.example/crel/Crel-101.tar.gz"));
  expected.items[2].archiveUrl = QUrl(QStringLiteral("https://updates.example/archives/Crel-103.tar.gz"));
  EXPECT_EQ(read, expected);
}

} // namespace
