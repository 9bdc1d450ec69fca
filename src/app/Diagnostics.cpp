#include "Diagnostics.h"

#include "LaunchAtLogin.h"
#include "capture/CaptureCoordinator.h"
#include "platform/desktop/AutostartLoginItem.h"
#include "platform/display/PortalSnapshotProvider.h"
#include "platform/display/SnapshotError.h"
#include "platform/display/X11Access.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/ResourceLocator.h"
#include "platform/files/SettingsStore.h"
#include "platform/text/TesseractTextRecognizer.h"

#include <cstdio>
#include <optional>

namespace crel::Diagnostics {

namespace {

const char *boolText(bool value) { return value ? "true" : "false"; }

void printLine(const QString &line) {
  std::fputs((line + u'\n').toLocal8Bit().constData(), stdout);
  std::fflush(stdout);
}

// Our own error domain and codes for a refused display list: one code per
// kind of capture failure, so scripts can tell a refusal from no display.
std::pair<QString, int> domainAndCode(const std::exception_ptr &error) {
  try {
    std::rethrow_exception(error);
  } catch (const SnapshotError &e) {
    return {QStringLiteral("crel.capture"), static_cast<int>(e.kind()) + 1};
  } catch (...) {
  }
  return {QStringLiteral("crel"), 0};
}

bool waylandSession() { return SnapshotProvider::isWaylandSession(QProcessEnvironment::systemEnvironment()); }

// On Wayland the screen is read through the desktop portal, not the X server.
void printPortal(const PortalSnapshotProvider::Status &status) {
  using Presence = PortalSnapshotProvider::Status::Presence;
  const char *presence = status.presence == Presence::present             ? "present"
                         : status.presence == Presence::withoutScreenshot ? "withoutScreenshotBackend"
                         : status.presence == Presence::withoutAccess     ? "withoutAccessBackend"
                                                                          : "absent";
  printLine(QStringLiteral("screenshotPortal=") + QLatin1String(presence));
  printLine(QStringLiteral("screenshotPortalVersion=") + QString::number(status.version));
}

} // namespace

void print() {
  const AutostartLoginItem loginItem(AutostartLoginItem::forThisProcess());
  std::optional<PortalSnapshotProvider::Status> portal;
  if (waylandSession())
    portal = PortalSnapshotProvider::status();
  printLine(QStringLiteral("screenCaptureAuthorized=") +
            boolText(portal ? portal->allowsCapture() : X11Access::screenReadable()));
  printLine(QStringLiteral("accessibilityAuthorized=") + boolText(X11Access::syntheticInputAvailable()));
  printLine(QStringLiteral("bundleIdentifier=") + AppIdentity::bundleIdentifier().value_or(QStringLiteral("none")));
  printLine(QStringLiteral("launchAtLoginStatus=") + QString::number(static_cast<int>(loginItem.status())));
  const bool initialized = SettingsStore::standard().value(QLatin1String(LaunchAtLogin::initializedKey)).toBool();
  printLine(QStringLiteral("launchAtLoginInitialized=") + boolText(initialized));
  printLine(QStringLiteral("textRecognitionLanguages=") + TesseractTextRecognizer::Options::forUser().language);
  if (portal)
    printPortal(*portal);
}

void printPermissions(QObject *receiver, std::function<void()> done) {
  const QString bundle = ResourceLocator::bundleDirectory();
  printLine(QStringLiteral("bundlePath=") + (bundle.isEmpty() ? ResourceLocator::executableDirectory() : bundle));
  std::optional<PortalSnapshotProvider::Status> portal;
  if (waylandSession())
    portal = PortalSnapshotProvider::status();
  printLine(QStringLiteral("coreGraphicsPreflight=") +
            boolText(portal ? portal->allowsCapture() : X11Access::screenReadable()));
  CaptureCoordinator::availableContent(
      receiver, [done = std::move(done), portal](ShareableContent content, std::exception_ptr error) {
        if (portal && !error && !portal->allowsCapture())
          error = std::make_exception_ptr(portal->refusal());
        if (error) {
          const auto [domain, code] = domainAndCode(error);
          printLine(QStringLiteral("screenCaptureKitAuthorized=false"));
          printLine(QStringLiteral("errorDomain=%1; errorCode=%2").arg(domain).arg(code));
        } else {
          printLine(QStringLiteral("screenCaptureKitAuthorized=true"));
          printLine(QStringLiteral("availableDisplayCount=%1").arg(content.displays.size()));
        }
        if (portal)
          printPortal(*portal);
        done();
      });
}

} // namespace crel::Diagnostics
