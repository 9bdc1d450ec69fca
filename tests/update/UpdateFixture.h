#pragma once

#include "ArchiveBuilder.h"
#include "LoopbackFeedServer.h"
#include "support/TestSupport.h"
#include "update/framework/AppcastItem.h"
#include "update/framework/Ed25519.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Another display's instance of the copy at `appDirectory`: a process, not
// a child of this one, whose executable lies inside the copy.
class OtherInstance {
public:
  explicit OtherInstance(const QString &appDirectory);
  ~OtherInstance() { quit(); }
  OtherInstance(const OtherInstance &) = delete;
  OtherInstance &operator=(const OtherInstance &) = delete;
  bool isRunning() const;
  // Kills it and waits until it is gone.
  void quit();

private:
  qint64 pid_ = 0;
};

// A throwaway installation: an application folder "apps/Crel.app" whose
// Info.json points its updater at a loopback server, a private cache, and
// settings of its own.
struct UpdateFixture {
  static constexpr const char *identifier = "co.quorvex.crel.test";

  UpdateFixture();

  QString apps() const { return root.filePath("apps"); }
  QString appDirectory() const { return root.filePath("apps/Crel.app"); }
  QString cache() const { return root.filePath("cache"); }

  static QByteArray infoJson(const char *version, const QByteArray &publicKey, const QUrl &feed = {},
                             const char *bundleIdentifier = identifier);
  // Writes an application folder at `directory` whose bin/crel is `executable`.
  static void writeApplication(const QString &directory, const QByteArray &info, const QByteArray &executable);
  // Puts a release of `version` on the server (archive and signed feed) and
  // returns its feed item; `entries` replace the honest archive when given.
  crel::update::AppcastItem publish(const char *version, const QList<ArchiveEntry> &entries = {}, HttpFault fault = {});
  void serveFeed(const QList<crel::update::AppcastItem> &items);
  // Top-level names in apps/ other than the application folder.
  QStringList strays() const;

  QTemporaryDir root;
  LoopbackFeedServer server;
  crel::update::Ed25519::KeyPair keys = crel::update::Ed25519::generate();
  crel::test::TemporarySettings settings;
};
