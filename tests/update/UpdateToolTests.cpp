#include "support/LaunchProcess.h"
#include "support/TestSupport.h"
#include "update/framework/Ed25519.h"
#include "update/framework/UpdateFeed.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace crel::update;
using crel::test::contents;
using crel::test::writeFile;

namespace {

using ToolRun = crel::test::ProcessResult;

ToolRun tool(const QStringList &arguments, const QString &workingDirectory) {
  return crel::test::runProgram(CREL_UPDATE_TOOL, arguments, QProcessEnvironment::systemEnvironment(), workingDirectory,
                                60000);
}

TEST(UpdateTool, WhatItMakesTheApplicationReadsAndItNeverLosesAKey) {
  QTemporaryDir dir;
  const ToolRun keys = tool({"generate-keys", "release.key"}, dir.path());
  ASSERT_EQ(keys.status, 0) << keys.err.toStdString();
  const QByteArray publicKey = QByteArray::fromBase64(keys.out.trimmed().toLatin1());
  const QByteArray seed = contents(dir.filePath("release.key"));
  struct stat st {};
  ::stat(QFile::encodeName(dir.filePath("release.key")).constData(), &st);
  EXPECT_EQ(st.st_mode & 0777, mode_t(0600));
  EXPECT_EQ(tool({"generate-keys", "release.key"}, dir.path()).status, 1);
  EXPECT_EQ(contents(dir.filePath("release.key")), seed);

  ASSERT_TRUE(QDir(dir.path()).mkpath("dist"));
  const QString archive = dir.filePath("dist/Crel-101-x86_64.tar.gz");
  writeFile(archive, QByteArray(200000, '\x5a') + "101");
  writeFile(dir.filePath("dist/Crel-102-arm64.tar.gz"), "102");
  writeFile(dir.filePath("releases.json"), R"({"identifier": "co.quorvex.crel", "items": [
      {"archive": "dist/Crel-101-x86_64.tar.gz", "version": "101", "displayVersion": "1.1",
       "architecture": "x86_64", "minimumSystemVersion": "2.31", "published": "2025-05-01T12:00:00Z",
       "releaseNotes": "Faster export."},
      {"archive": "dist/Crel-102-arm64.tar.gz", "url": "https://mirror.example/Crel-102-arm64.tar.gz",
       "version": "102", "architecture": "arm64"}]})");
  const ToolRun made = tool({"make-feed", "release.key", "releases.json", "dist/appcast.json"}, dir.path());
  ASSERT_EQ(made.status, 0) << made.err.toStdString();

  const QString feedPath = dir.filePath("dist/appcast.json");
  FeedContext context;
  context.identifier = QStringLiteral("co.quorvex.crel");
  context.feedUrl = QUrl::fromLocalFile(feedPath);
  context.publicEdKey = publicKey;
  context.currentVersion = QStringLiteral("100");
  context.architecture = QStringLiteral("x86_64");
  const Appcast appcast = UpdateFeed::read(contents(feedPath), context);
  ASSERT_EQ(appcast.items.size(), 2);
  AppcastItem expected;
  expected.version = QStringLiteral("101");
  expected.displayVersionString = QStringLiteral("1.1");
  expected.architecture = QStringLiteral("x86_64");
  expected.minimumSystemVersion = QStringLiteral("2.31");
  expected.releaseNotes = QStringLiteral("Faster export.");
  expected.published = QDateTime(QDate(2025, 5, 1), QTime(12, 0), Qt::UTC);
  expected.archiveUrl = QUrl::fromLocalFile(archive);
  expected.length = QFileInfo(archive).size();
  expected.sha256 = QCryptographicHash::hash(contents(archive), QCryptographicHash::Sha256);
  expected.edSignature =
      QByteArray::fromBase64(tool({"sign-archive", "release.key", archive}, dir.path()).out.toLatin1());
  EXPECT_EQ(appcast.items[0], expected);
  EXPECT_TRUE(Ed25519::verifyFile(archive, expected.edSignature, publicKey));
  EXPECT_EQ(appcast.items[1].archiveUrl, QUrl("https://mirror.example/Crel-102-arm64.tar.gz"));
  EXPECT_TRUE(Ed25519::verify("102", appcast.items[1].edSignature, publicKey));
  EXPECT_EQ(UpdateFeed::evaluate(contents(feedPath), context).item, expected);

  const QString key = QString::fromLatin1(publicKey.toBase64());
  EXPECT_EQ(tool({"verify-feed", feedPath, key, "co.quorvex.crel"}, dir.path()).out.count('\n'), 2);
  EXPECT_TRUE(tool({"verify-feed", feedPath, key, "co.quorvex.other"}, dir.path()).err.contains("another app"));

  writeFile(dir.filePath("missing.json"),
            R"({"identifier": "co.quorvex.crel", "items": [{"archive": "nowhere.tar.gz", "version": "101"}]})");
  const ToolRun broken = tool({"make-feed", "release.key", "missing.json", "appcast.json"}, dir.path());
  EXPECT_EQ(broken.status, 1);
  EXPECT_TRUE(broken.err.contains("nowhere.tar.gz")) << broken.err.toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath("appcast.json")));
}

} // namespace
