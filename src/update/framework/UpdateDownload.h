#pragma once

#include "UpdateError.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace crel::update {

// One GET with caps: at most `maximumBytes`, an exact `expectedLength` when
// given (a Content-Length of the final response that disagrees ends it at
// once), and a time limit for the whole transfer, redirects included. At
// most `maximumRedirects` are followed, each only to an address
// UpdateAddress::isPermittedRedirect allows. The body goes to memory or, when
// `destination` is set, streams into that file (0600), which is removed on
// any failure.
class UpdateDownload : public QObject {
  Q_OBJECT
public:
  struct Request {
    QUrl url;
    QByteArray userAgent;
    qint64 maximumBytes = 0;
    std::optional<qint64> expectedLength;
    int timeLimitMs = 120000;
    QString destination;     // empty: keep the body in memory
    bool isFeed = false;     // says "update information" rather than "update" in sentences
    QString applicationName; // how sentences about redirects name the application
  };
  static constexpr int maximumRedirects = 10;
  // The body (empty when it went to a file), or the reason it failed.
  using Completion = std::function<void(const QByteArray &body, const std::optional<UpdateError> &error)>;

  // Starts at once; `completion` is called exactly once, later, on this thread,
  // unless the download is destroyed first.
  UpdateDownload(QNetworkAccessManager &network, const Request &request, Completion completion,
                 QObject *parent = nullptr);
  ~UpdateDownload() override;

private:
  void get(const QUrl &url);
  // Where the current response redirects to; invalid when it is no redirect.
  QUrl redirectTarget() const;
  void follow(const QUrl &target);
  void dropReply();
  void receive();
  void finish(const std::optional<UpdateError> &error);
  void fail(UpdateErrorCode code, const QString &why);
  void failSaving(int error, const QString &why);
  void failTransfer(const QString &why);

  QNetworkAccessManager &network_;
  Request request_;
  Completion completion_;
  QPointer<QNetworkReply> reply_;
  QFile file_;
  QByteArray body_;
  qint64 received_ = 0;
  int redirects_ = 0;
  QTimer deadline_;
  bool done_ = false;
};

} // namespace crel::update
