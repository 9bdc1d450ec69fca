#include "update/framework/AppcastEnvelope.h"
#include "update/framework/Ed25519.h"
#include "update/framework/UpdateFeed.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace crel::update;

namespace {

struct ToolRun {
  int status;
  QByteArray out;
  QByteArray err;
};

ToolRun tool(const QStringList &arguments, const QString &workingDirectory) {
  QProcess process;
  process.setWorkingDirectory(workingDirectory);
  process.start(QStringLiteral(CREL_UPDATE_TOOL), arguments);
  if (!process.waitForFinished(60000))
    return {-1, {}, "did not finish"};
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
          process.readAllStandardError()};
}

void writeFile(const QString &path, const QByteArray &data) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(data);
}

QByteArray readFile(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class UpdateTool : public ::testing::Test {
protected:
  void SetUp() override {
    const ToolRun keys = tool({"generate-keys", "release.key"}, dir.path());
    ASSERT_EQ(keys.status, 0) << keys.err.toStdString();
    publicKey = QByteArray::fromBase64(keys.out.trimmed());
    ASSERT_EQ(publicKey.size(), Ed25519::publicKeySize);
  }

  FeedContext contextFor(const QString &feedPath) const {
    FeedContext c;
    c.identifier = QStringLiteral("co.quorvex.crel");
    c.feedUrl = QUrl::fromLocalFile(feedPath);
    c.publicEdKey = publicKey;
    c.currentVersion = QStringLiteral("100");
    c.architecture = QStringLiteral("x86_64");
    return c;
  }

  QTemporaryDir dir;
  QByteArray publicKey;
};

TEST_F(UpdateTool, FeedItMakesIsReadBackWithArchivesThatVerify) {
  ASSERT_TRUE(QDir(dir.path()).mkpath("dist"));
  writeFile(dir.filePath("dist/Crel-101-x86_64.tar.gz"), QByteArray(200000, '\x5a') + "101");
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
  const Appcast appcast = UpdateFeed::read(readFile(feedPath), contextFor(feedPath));
  ASSERT_EQ(appcast.items.size(), 2);
  const AppcastItem &first = appcast.items[0];
  const QString archive = dir.filePath("dist/Crel-101-x86_64.tar.gz");
  EXPECT_EQ(first.version, "101");
  EXPECT_EQ(first.displayVersionString, "1.1");
  EXPECT_EQ(first.minimumSystemVersion, "2.31");
  EXPECT_EQ(first.releaseNotes, "Faster export.");
  EXPECT_EQ(first.published, QDateTime(QDate(2025, 5, 1), QTime(12, 0), Qt::UTC));
  EXPECT_EQ(first.archiveUrl, QUrl::fromLocalFile(archive));
  EXPECT_EQ(first.length, QFileInfo(archive).size());
  EXPECT_EQ(first.sha256, QCryptographicHash::hash(readFile(archive), QCryptographicHash::Sha256));
  EXPECT_TRUE(Ed25519::verifyFile(archive, first.edSignature, publicKey));
  EXPECT_EQ(appcast.items[1].archiveUrl, QUrl("https://mirror.example/Crel-102-arm64.tar.gz"));
  EXPECT_TRUE(Ed25519::verify("102", appcast.items[1].edSignature, publicKey));

  // The same signature from sign-archive, the same key from public-key.
  const ToolRun signature = tool({"sign-archive", "release.key", archive}, dir.path());
  EXPECT_EQ(QByteArray::fromBase64(signature.out.trimmed()), first.edSignature);
  EXPECT_EQ(QByteArray::fromBase64(tool({"public-key", "release.key"}, dir.path()).out.trimmed()), publicKey);

  const FeedVerdict verdict = UpdateFeed::evaluate(readFile(feedPath), contextFor(feedPath));
  ASSERT_TRUE(verdict.item);
  EXPECT_EQ(*verdict.item, first);

  const QString key = QString::fromLatin1(publicKey.toBase64());
  const ToolRun listed = tool({"verify-feed", feedPath, key, "co.quorvex.crel"}, dir.path());
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.out.count('\n'), 2);
  const ToolRun foreign = tool({"verify-feed", feedPath, key, "co.quorvex.other"}, dir.path());
  EXPECT_EQ(foreign.status, 1);
  EXPECT_TRUE(foreign.err.contains("another app")) << foreign.err.toStdString();
}

TEST_F(UpdateTool, RefusesToLoseAKeyOrWriteABrokenFeed) {
  const QString keyPath = dir.filePath("release.key");
  const QByteArray key = readFile(keyPath);
  struct stat st {};
  ::stat(QFile::encodeName(keyPath).constData(), &st);
  EXPECT_EQ(st.st_mode & 0777, mode_t(0600));

  const ToolRun again = tool({"generate-keys", "release.key"}, dir.path());
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(readFile(keyPath), key);

  writeFile(dir.filePath("missing-archive.json"),
            R"({"identifier": "co.quorvex.crel", "items": [{"archive": "nowhere.tar.gz", "version": "101"}]})");
  const ToolRun broken = tool({"make-feed", "release.key", "missing-archive.json", "appcast.json"}, dir.path());
  EXPECT_EQ(broken.status, 1);
  EXPECT_TRUE(broken.err.contains("nowhere.tar.gz")) << broken.err.toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath("appcast.json")));
  EXPECT_EQ(tool({"make-feed", "release.key"}, dir.path()).status, 2);
}

} // namespace
