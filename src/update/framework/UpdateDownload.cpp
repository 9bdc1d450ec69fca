#include "UpdateDownload.h"

#include "PrivateFile.h"
#include "UpdateAddress.h"
#include "platform/base/Translate.h"
#include "platform/files/FileError.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <cerrno>
#include <unistd.h>

namespace crel::update {

UpdateDownload::UpdateDownload(QNetworkAccessManager &network, const Request &request, Completion completion,
                               QObject *parent)
    : QObject(parent), network_(network), request_(request), completion_(std::move(completion)) {
  if (!request_.destination.isEmpty()) {
    QString why;
    int error = 0;
    try {
      PrivateFile::makeFolder(QFileInfo(request_.destination).absolutePath());
      file_.setFileName(request_.destination);
      errno = 0;
      if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
          !file_.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        error = errno;
        why = file_.errorString();
      }
    } catch (const FileError &e) {
      error = e.errorCode();
      why = e.message();
    }
    if (!why.isEmpty()) {
      QMetaObject::invokeMethod(
          this, [this, error, why] { failSaving(error, why); }, Qt::QueuedConnection);
      return;
    }
  }
  get(request_.url);
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] { failTransfer(tr("it took longer than allowed")); });
  deadline_.start(request_.timeLimitMs);
}

UpdateDownload::~UpdateDownload() {
  dropReply();
  if (!done_ && file_.isOpen()) {
    file_.close();
    file_.remove();
  }
}

void UpdateDownload::get(const QUrl &url) {
  QNetworkRequest request(url);
  request.setHeader(QNetworkRequest::UserAgentHeader, request_.userAgent);
  // Redirects are followed here, one reply a hop: each target is checked
  // before it is asked for, and a redirect's own headers are never taken for
  // the release's.
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  reply_ = network_.get(request);
  reply_->setReadBufferSize(256 * 1024);
  connect(reply_, &QNetworkReply::metaDataChanged, this, [this] {
    if (const QUrl target = redirectTarget(); target.isValid())
      return follow(target);
    const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
    if (!length.isValid())
      return;
    const qint64 announced = length.toLongLong();
    if (request_.isFeed && announced > request_.maximumBytes)
      fail(UpdateErrorCode::downloadSize,
           tr("The update information is larger than %1 MB, so it was ignored.").arg(request_.maximumBytes >> 20));
    else if ((request_.expectedLength && announced != *request_.expectedLength) || announced > request_.maximumBytes)
      fail(UpdateErrorCode::downloadSize, tr("The server offers %1 bytes, but the update is %2 bytes, so it was "
                                             "not downloaded.")
                                              .arg(announced)
                                              .arg(request_.expectedLength.value_or(request_.maximumBytes)));
  });
  connect(reply_, &QNetworkReply::readyRead, this, &UpdateDownload::receive);
  connect(reply_, &QNetworkReply::finished, this, [this] {
    receive();
    if (done_)
      return;
    if (reply_->error() != QNetworkReply::NoError)
      return failTransfer(reply_->errorString());
    if (request_.expectedLength && received_ != *request_.expectedLength)
      return fail(UpdateErrorCode::downloadSize, tr("The download of the update was interrupted after %1 of %2 bytes.")
                                                     .arg(received_)
                                                     .arg(*request_.expectedLength));
    errno = 0;
    if (file_.isOpen() && (!file_.flush() || ::fsync(file_.handle()) != 0))
      return failSaving(errno, file_.errorString());
    file_.close();
    finish(std::nullopt);
  });
}

QUrl UpdateDownload::redirectTarget() const {
  const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  const QUrl location = reply_->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
  return status / 100 == 3 && location.isValid() ? reply_->url().resolved(location) : QUrl();
}

void UpdateDownload::follow(const QUrl &target) {
  const UpdateErrorCode code = request_.isFeed ? UpdateErrorCode::appcastFetch : UpdateErrorCode::download;
  if (++redirects_ > maximumRedirects)
    return fail(
        code,
        tr("The update server redirected %1 more than %2 times.").arg(request_.applicationName).arg(maximumRedirects));
  // Nothing is fetched over plain HTTP from the network, however the first
  // address was reached.
  if (!UpdateAddress::isPermittedRedirect(target))
    return fail(code, tr("The update server sent %1 to an address it does not trust: %2.")
                          .arg(request_.applicationName, target.toDisplayString(QUrl::RemoveUserInfo)));
  // The redirect's body, if any, is not ours to read.
  dropReply();
  get(target);
}

void UpdateDownload::receive() {
  if (done_ || !reply_)
    return;
  while (reply_->bytesAvailable() > 0) {
    const QByteArray chunk = reply_->read(256 * 1024);
    received_ += chunk.size();
    const qint64 limit = std::min(request_.maximumBytes, request_.expectedLength.value_or(request_.maximumBytes));
    if (received_ > limit)
      return fail(UpdateErrorCode::downloadSize,
                  request_.isFeed
                      ? tr("The update information is larger than %1 MB, so it was ignored.").arg(limit >> 20)
                      : tr("The download is larger than the %1 bytes expected.").arg(limit));
    if (file_.isOpen()) {
      errno = 0;
      if (file_.write(chunk) != chunk.size())
        return failSaving(errno, file_.errorString());
    } else {
      body_.append(chunk);
    }
  }
}

void UpdateDownload::fail(UpdateErrorCode code, const QString &why) {
  if (done_)
    return;
  if (file_.isOpen() || !request_.destination.isEmpty()) {
    file_.close();
    QFile::remove(request_.destination);
  }
  finish(UpdateError(code, why));
}

void UpdateDownload::failSaving(int error, const QString &why) {
  if (error == ENOSPC || error == EDQUOT)
    return fail(UpdateErrorCode::temporaryDirectory, tr("Not enough free space to download the update."));
  fail(UpdateErrorCode::temporaryDirectory,
       tr("The update could not be saved on this computer (%1).").arg(why.endsWith(u'.') ? why.chopped(1) : why));
}

void UpdateDownload::failTransfer(const QString &why) {
  if (request_.isFeed)
    return fail(UpdateErrorCode::appcastFetch, tr("The update information could not be fetched (%1).").arg(why));
  fail(UpdateErrorCode::download, received_ > 0 ? tr("The download of the update was interrupted (%1).").arg(why)
                                                : tr("The update could not be downloaded (%1).").arg(why));
}

void UpdateDownload::dropReply() {
  if (!reply_)
    return;
  reply_->disconnect(this);
  reply_->abort();
  reply_->deleteLater();
  reply_ = nullptr;
}

void UpdateDownload::finish(const std::optional<UpdateError> &error) {
  if (done_)
    return;
  done_ = true;
  deadline_.stop();
  dropReply();
  const QByteArray body = std::exchange(body_, {});
  // The owner may delete us from the completion.
  const Completion completion = std::move(completion_);
  completion(body, error);
}

} // namespace crel::update
