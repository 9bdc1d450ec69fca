#include "StartupCheck.h"

#include "AppDelegate.h"
#include "AppLaunch.h"
#include "CrelApplication.h"
#include "ShortcutManager.h"
#include "platform/files/AtomicFileWriter.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

namespace crel::StartupCheck {

Outcome evaluate(const State &state, bool loginVariant) {
  if (!state.hasDelegate)
    return {false, QStringLiteral("FAIL: Application delegate did not survive startup")};
  bool kept = state.regularPolicy && state.shortcutRegistered && state.hasStatusItem;
  if (loginVariant)
    kept = kept && state.launchedAtLogin && !state.welcomeExists;
  else
    kept = kept && state.welcomeExists && state.welcomeVisible;
  if (!kept)
    return {false,
            QStringLiteral("FAIL: Startup did not retain its shortcut, menu bar item, or expected window visibility")};
  return {true,
          loginVariant
              ? QStringLiteral("PASS: Login Apple event starts quietly with a registered shortcut and menu bar item")
              : QStringLiteral("PASS: Actual application startup retains its delegate, global shortcut, menu "
                               "bar item, and welcome window")};
}

QByteArray evidence(const State &state) {
  QJsonObject object;
  object.insert(QStringLiteral("loginEvent"), state.launchedAtLogin);
  object.insert(QStringLiteral("shortcutRegistered"), state.shortcutRegistered);
  object.insert(QStringLiteral("welcomeHidden"), !state.welcomeExists);
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

State observe(const AppDelegate *delegate) {
  State state;
  if (!delegate)
    return state;
  state.hasDelegate = true;
  const CrelApplication *app = CrelApplication::instance();
  state.regularPolicy = app && app->activationPolicy() == ActivationPolicy::regular;
  state.shortcutRegistered = delegate->shortcuts().isRegistered();
  state.hasStatusItem = delegate->statusPresentation() != nullptr;
  state.launchedAtLogin = delegate->launchedAtLogin();
  state.welcomeExists = delegate->welcomeWindow() != nullptr;
  state.welcomeVisible = state.welcomeExists && delegate->welcomeWindow()->isVisible();
  return state;
}

void run(AppDelegate *delegate, bool loginVariant, const std::optional<QString> &evidencePath) {
  const State state = observe(delegate);
  const Outcome outcome = evaluate(state, loginVariant);
  if (!outcome.passed)
    failAndExit(outcome.line.mid(int(qstrlen("FAIL: "))));
  std::printf("%s\n", qPrintable(outcome.line));
  std::fflush(stdout);
  if (loginVariant && evidencePath) {
    try {
      AtomicFileWriter::write(*evidencePath, evidence(state));
    } catch (...) {
      failAndExit(QStringLiteral("Could not save login startup evidence"));
    }
  }
  QTimer::singleShot(1000,
                     [] { failAndExit(QStringLiteral("Application did not terminate through its normal quit path")); });
  delegate->requestQuit();
}

} // namespace crel::StartupCheck
