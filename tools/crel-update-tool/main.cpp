// Release side of updates: makes the signing key, signs archives and writes
// the signed feed that the application reads.
//
//   crel-update-tool generate-keys KEY_FILE
//   crel-update-tool public-key KEY_FILE
//   crel-update-tool sign-archive KEY_FILE ARCHIVE
//   crel-update-tool make-feed KEY_FILE RELEASES_JSON OUTPUT
//   crel-update-tool verify-feed FEED PUBLIC_KEY IDENTIFIER [FEED_URL]
//
// RELEASES_JSON: {"identifier": "...", "items": [{"archive": "<path>",
// "version": "101", plus optional "url" (default: the archive's file name,
// relative to the feed), "displayVersion", "architecture",
// "minimumSystemVersion", "published", "releaseNotes"}]}.
// The key file holds the Base64 of the 32-byte private seed and is never
// overwritten; the public key printed goes into Info.json as "SUPublicEDKey".

#include "../ToolUsage.h"

#include "platform/files/AtomicFileWriter.h"
#include "platform/files/FileError.h"
#include "platform/files/JsonReader.h"
#include "update/framework/Appcast.h"
#include "update/framework/AppcastEnvelope.h"
#include "update/framework/Ed25519.h"
#include "update/framework/UpdateError.h"
#include "update/framework/UpdateFeed.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>

using namespace crel;
using namespace crel::update;

namespace {

// A failure of the tool itself, reported as one line.
class ToolError : public std::runtime_error {
public:
  explicit ToolError(const QString &message) : std::runtime_error(message.toStdString()) {}
};

void print(const QByteArray &line) {
  std::fputs(line.constData(), stdout);
  std::fputc('\n', stdout);
}

QByteArray readFile(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw ToolError(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
  return file.readAll();
}

QByteArray readSeed(const QString &path) {
  const auto seed = QByteArray::fromBase64Encoding(readFile(path).trimmed(), QByteArray::AbortOnBase64DecodingErrors);
  if (!seed || seed.decoded.size() != Ed25519::seedSize)
    throw ToolError(QStringLiteral("%1 is not a private key made by generate-keys").arg(path));
  return seed.decoded;
}

QByteArray sha256Of(const QString &path) {
  QFile file(path);
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
    throw ToolError(QStringLiteral("cannot read %1").arg(path));
  return hash.result();
}

int generateKeys(const QStringList &args) {
  const Ed25519::KeyPair pair = Ed25519::generate();
  AtomicFileWriter::write(args[0], pair.seed.toBase64() + '\n', AtomicFileWriter::Existing::refuse, 0600);
  print(pair.publicKey.toBase64());
  return 0;
}

int publicKey(const QStringList &args) {
  print(Ed25519::fromSeed(readSeed(args[0])).publicKey.toBase64());
  return 0;
}

int signArchive(const QStringList &args) {
  print(Ed25519::signFile(args[1], readSeed(args[0])).toBase64());
  return 0;
}

AppcastItem releaseItem(const QJsonValue &entry, qsizetype index, const QByteArray &seed) {
  const std::string name = "items[" + std::to_string(index) + "]";
  const JsonObjectReader r(entry, name.c_str());
  const QString archive = r.required("archive", json::toString);
  const QFileInfo info(archive);
  if (!info.isFile())
    throw ToolError(QStringLiteral("%1: no archive at %2").arg(QString::fromStdString(name), archive));
  AppcastItem item;
  item.version = r.required("version", json::toString);
  if (!AppcastItem::isPlainVersion(item.version))
    throw ToolError(QStringLiteral("%1.version is not a plain version (digits, letters, \".\", \"-\" and \"+\")")
                        .arg(QString::fromStdString(name)));
  item.displayVersionString = r.optional("displayVersion", json::toString).value_or(item.version);
  item.architecture = r.optional("architecture", json::toString).value_or(QString());
  item.minimumSystemVersion = r.optional("minimumSystemVersion", json::toString).value_or(QString());
  item.releaseNotes = r.optional("releaseNotes", json::toString).value_or(QString());
  if (const auto published = r.optional("published", json::toString)) {
    item.published = QDateTime::fromString(*published, Qt::ISODate);
    if (!item.published.isValid())
      throw ToolError(QStringLiteral("%1.published is not an ISO 8601 date").arg(QString::fromStdString(name)));
  }
  item.archiveUrl = QUrl(r.optional("url", json::toString).value_or(info.fileName()));
  item.length = info.size();
  item.sha256 = sha256Of(archive);
  item.edSignature = Ed25519::signFile(archive, seed);
  return item;
}

int makeFeed(const QStringList &args) {
  const QByteArray seed = readSeed(args[0]);
  const JsonObjectReader r(json::parse(readFile(args[1])), "releases");
  Appcast appcast;
  appcast.identifier = r.required("identifier", json::toString);
  appcast.generated = QDateTime::currentDateTimeUtc();
  const QJsonArray items = r.required("items", json::toArray);
  for (qsizetype i = 0; i < items.size(); ++i)
    appcast.items.append(releaseItem(items[i], i, seed));
  const QByteArray feed = AppcastEnvelope::seal(appcast.encodePayload(), seed);

  // What the application will do with it, before anyone can download it.
  FeedContext context;
  context.identifier = appcast.identifier;
  context.publicEdKey = Ed25519::fromSeed(seed).publicKey;
  context.feedUrl = QUrl::fromLocalFile(QFileInfo(args[2]).absoluteFilePath());
  UpdateFeed::read(feed, context);

  AtomicFileWriter::write(args[2], feed, AtomicFileWriter::Existing::replace, 0644);
  return 0;
}

int verifyFeed(const QStringList &args) {
  FeedContext context;
  const auto key = QByteArray::fromBase64Encoding(args[1].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!key || key.decoded.size() != Ed25519::publicKeySize)
    throw ToolError(QStringLiteral("%1 is not a Base64 Ed25519 public key").arg(args[1]));
  context.publicEdKey = key.decoded;
  context.identifier = args[2];
  context.feedUrl = args.size() > 3 ? QUrl(args[3]) : QUrl::fromLocalFile(QFileInfo(args[0]).absoluteFilePath());
  const Appcast appcast = UpdateFeed::read(readFile(args[0]), context);
  for (const AppcastItem &item : appcast.items)
    print(QStringLiteral("%1 %2 %3 %4 %5")
              .arg(item.version, item.displayVersionString, item.architecture.isEmpty() ? "any" : item.architecture)
              .arg(item.length)
              .arg(item.archiveUrl.toString(QUrl::FullyEncoded))
              .toUtf8());
  return 0;
}

struct Command {
  qsizetype minimumArguments;
  qsizetype maximumArguments;
  std::function<int(const QStringList &)> run;
};

const std::map<QString, Command> &commands() {
  static const std::map<QString, Command> table{
      {QStringLiteral("generate-keys"), {1, 1, generateKeys}}, {QStringLiteral("public-key"), {1, 1, publicKey}},
      {QStringLiteral("sign-archive"), {2, 2, signArchive}},   {QStringLiteral("make-feed"), {3, 3, makeFeed}},
      {QStringLiteral("verify-feed"), {3, 4, verifyFeed}},
  };
  return table;
}

int fail(const QString &message, int status) {
  std::fprintf(stderr, "crel-update-tool: %s\n", message.toUtf8().constData());
  return status;
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  QStringList args = QCoreApplication::arguments().mid(1);
  const auto command = args.isEmpty() ? commands().end() : commands().find(args.takeFirst());
  if (command == commands().end() || args.size() < command->second.minimumArguments ||
      args.size() > command->second.maximumArguments || crel::tools::wantsUsage(args))
    return fail(QStringLiteral("usage: generate-keys KEY | public-key KEY | sign-archive KEY ARCHIVE | "
                               "make-feed KEY RELEASES_JSON OUTPUT | verify-feed FEED PUBLIC_KEY IDENTIFIER [URL]"),
                2);
  try {
    return command->second.run(args);
  } catch (const ToolError &e) {
    return fail(QString::fromUtf8(e.what()), 1);
  } catch (const FileError &e) {
    return fail(e.message(), 1);
  } catch (const UpdateError &e) {
    return fail(e.description(), 1);
  } catch (const JsonDecodingError &e) {
    return fail(QString::fromUtf8(e.what()), 1);
  }
}
