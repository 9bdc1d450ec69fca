#include "UpdateFeed.h"

#include "AppcastEnvelope.h"
#include "VersionComparator.h"
#include "platform/base/Translate.h"

#include <QSysInfo>

#include <gnu/libc-version.h>

namespace crel::update {

namespace {

bool runsHere(const AppcastItem &item, const FeedContext &context) {
  if (!item.architecture.isEmpty() && item.architecture != context.architecture)
    return false;
  if (item.minimumSystemVersion.isEmpty() || context.systemVersion.isEmpty())
    return true;
  return VersionComparator::standard().compare(context.systemVersion, item.minimumSystemVersion) >= 0;
}

bool isNewer(const QString &version, const QString &than) {
  return VersionComparator::standard().compare(version, than) > 0;
}

} // namespace

FeedContext FeedContext::forBundle(const BundleInfo &bundle, std::optional<QString> skippedVersion) {
  FeedContext context;
  context.identifier = bundle.identifier;
  context.feedUrl = bundle.updates.feedUrl;
  context.publicEdKey = bundle.updates.publicEdKey;
  context.requireSignedFeed = bundle.updates.requireSignedFeed;
  context.currentVersion = bundle.version;
  context.currentDisplayVersion = bundle.shortVersion;
  context.displayName = bundle.displayName;
  context.architecture = QSysInfo::currentCpuArchitecture();
  context.systemVersion = QString::fromLatin1(gnu_get_libc_version());
  context.skippedVersion = std::move(skippedVersion);
  return context;
}

Appcast UpdateFeed::read(const QByteArray &envelope, const FeedContext &context) {
  const QByteArray payload = AppcastEnvelope::open(envelope, context.publicEdKey, context.requireSignedFeed);
  Appcast appcast = Appcast::decodePayload(payload, context.feedUrl);
  if (appcast.identifier != context.identifier)
    throw UpdateError(
        UpdateErrorCode::feedIdentity,
        tr("The update information is for another app (“%1”), so it was ignored.").arg(appcast.identifier));
  return appcast;
}

std::optional<AppcastItem> UpdateFeed::selectItem(const Appcast &appcast, const FeedContext &context) {
  const AppcastItem *best = nullptr;
  for (const AppcastItem &item : appcast.items) {
    if (!runsHere(item, context) || !isNewer(item.version, context.currentVersion))
      continue;
    if (context.skippedVersion && !isNewer(item.version, *context.skippedVersion))
      continue;
    if (!best || isNewer(item.version, best->version))
      best = &item;
  }
  return best ? std::optional(*best) : std::nullopt;
}

FeedVerdict UpdateFeed::evaluate(const QByteArray &envelope, const FeedContext &context) {
  try {
    if (std::optional<AppcastItem> item = selectItem(read(envelope, context), context))
      return {std::move(item), std::nullopt};
    return {std::nullopt,
            UpdateError(
                UpdateErrorCode::noUpdate,
                tr("%1 %2 is the newest version available.").arg(context.displayName, context.currentDisplayVersion))};
  } catch (const UpdateError &e) {
    return {std::nullopt, e};
  }
}

} // namespace crel::update
