#include "ShortcutManager.h"

#include "ShortcutRecorder.h"
#include "document/CrelError.h"
#include "platform/display/DisplayLoss.h"
#include "platform/display/SnapshotProvider.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/SettingsStore.h"
#include "platform/shortcuts/GlobalShortcutPortal.h"
#include "platform/shortcuts/HotKeyBackend.h"

#include "platform/base/Translate.h"
#include <QFile>
#include <QProcessEnvironment>
#include <QStringList>

#include <algorithm>

namespace crel {

namespace {

// A named key is grabbed by its name alone: what it types changes with the layout.
HotKeyCombination combinationOf(const CaptureShortcut &shortcut) {
  if (!shortcut.key.isEmpty())
    return {0, shortcut.xModifiers(), shortcut.key.toLatin1()};
  return {shortcut.keyCode, shortcut.xModifiers(), {}};
}

ShortcutManager::Problem problemOf(HotKeyBackend::GrabResult result) {
  switch (result) {
  case HotKeyBackend::GrabResult::grabbed: break;
  case HotKeyBackend::GrabResult::taken: return ShortcutManager::Problem::taken;
  case HotKeyBackend::GrabResult::notOnKeyboard: return ShortcutManager::Problem::notOnKeyboard;
  case HotKeyBackend::GrabResult::noDisplay: return ShortcutManager::Problem::noDisplay;
  }
  return ShortcutManager::Problem::none;
}

bool isPlainWord(const QString &word) {
  return std::all_of(word.begin(), word.end(), [](QChar c) {
    return (c.isLetterOrNumber() && c.unicode() < 0x80) || QStringLiteral("/._-+=:@%,").contains(c);
  });
}

// How a key binding's command reads the program's path: a shell, GNOME's
// splitting (no `~`, no variables) and KDE's entries alike; or sway's config,
// which also reads backslashes and quotes, ends the command at ";" or ",",
// and replaces "$name" even inside quotes, before sh gets it.
enum class Reader { shell, sway };

QString quotedPath(const QString &path, Reader reader) {
  if (isPlainWord(path))
    return path;
  const bool sway = reader == Reader::sway;
  QString word = QStringLiteral("'");
  for (const QChar c : path) {
    if (c == u'\'')
      word += sway ? QStringLiteral("'\\\\''") : QStringLiteral("'\\''");
    else if (sway && c == u'$')
      word += QStringLiteral("'\\$'"); // sway leaves an escaped "$" alone; sh drops the backslash
    else if (sway && c == u'"')
      word += QStringLiteral(R"('\\\"')"); // sway drops bare double quotes inside its own
    else if (sway && c == u'\\')
      word += QStringLiteral("\\\\");
    else
      word += c;
  }
  return word + u'\'';
}

QString bindingCommand(const QString &program, Reader reader) {
  return quotedPath(program, reader) + QStringLiteral(" --capture");
}

QString runningProgram(const QString &program) {
  return program.isEmpty() ? QFile::symLinkTarget(QStringLiteral("/proc/self/exe")) : program;
}

QString desktopBindingText(const QString &command) { return ShortcutManager::bindingSentence() + u'\n' + command; }

// sway's config line: sway reads the quoted rest as one command for sh -c.
QString swayLine(const QString &program) {
  return QStringLiteral("bindsym Ctrl+Shift+2 exec \"") + bindingCommand(program, Reader::sway) + u'"';
}

// Said at the first launch: where each desktop takes the command, in its own
// notation. Each command stands on a line of its own, as it is to be typed.
QString bindingAdvice(const QString &program, const QString &label) {
  const QString command = bindingCommand(program, Reader::shell);
  QString advice = ShortcutManager::tr(
                       "On Wayland only your desktop can give %1 a capture shortcut that works in every window. Bind "
                       "this command to a key such as %2 in your desktop's keyboard settings, in GNOME under Settings "
                       "> Keyboard > Custom Shortcuts, in KDE Plasma under System Settings > Shortcuts > Add "
                       "Command… (Plasma 6: Add New > Command or Script…):")
                       .arg(AppIdentity::name(), label) +
                   QStringLiteral("\n\n") + command;
  // KDE keeps the command as an entry's Exec line, where "%" starts a field code.
  QString kde = command;
  kde.replace(u'%', QStringLiteral("%%"));
  if (kde != command)
    advice += QStringLiteral("\n\n") + ShortcutManager::tr("In KDE Plasma, as:") + QStringLiteral("\n\n") + kde;
  return advice + QStringLiteral("\n\n") + ShortcutManager::tr("In sway's config:") + QStringLiteral("\n\n") +
         swayLine(program);
}

const QString kExplainedKey = QStringLiteral("captureShortcutBindingExplained");
// The desktop and portal that answered a binding with success and bound
// nothing: asking again only brings up their settings (KDE Plasma 5.27).
const QString kBoundNothingKey = QStringLiteral("captureShortcutDesktopBoundNothing");
const QString kPortalId = QStringLiteral("capture");

// The portal's notation: "CTRL+SHIFT+2", modifiers first, then the key.
QString portalTrigger(const CaptureShortcut &shortcut) {
  QStringList parts;
  if (shortcut.modifiers & CaptureShortcut::command)
    parts << QStringLiteral("CTRL");
  if (shortcut.modifiers & CaptureShortcut::option)
    parts << QStringLiteral("ALT");
  if (shortcut.modifiers & CaptureShortcut::shift)
    parts << QStringLiteral("SHIFT");
  if (shortcut.modifiers & CaptureShortcut::control)
    parts << QStringLiteral("LOGO");
  parts << shortcut.character;
  return parts.join(QLatin1Char('+'));
}

} // namespace

ShortcutManager::Desktop ShortcutManager::Desktop::fromSession() {
  Desktop desktop;
  const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  desktop.wayland = SnapshotProvider::isWaylandSession(environment);
  if (desktop.wayland)
    desktop.portal = GlobalShortcutPortal::onSessionBus();
  desktop.sway = desktop.wayland && !environment.value(QStringLiteral("SWAYSOCK")).isEmpty();
  desktop.name = environment.value(QStringLiteral("XDG_CURRENT_DESKTOP"));
  if (const QString kde = environment.value(QStringLiteral("KDE_SESSION_VERSION")); !kde.isEmpty())
    desktop.name += u'/' + kde;
  return desktop;
}

ShortcutManager::ShortcutManager(SettingsStore &defaults, std::unique_ptr<HotKeyBackend> backend,
                                 std::optional<Desktop> desktop, QObject *parent)
    : QObject(parent), defaults_(defaults), backend_(std::move(backend)),
      desktop_(desktop ? std::move(*desktop) : Desktop::fromSession()), current_(CaptureShortcut::load(defaults)) {
  if (!backend_)
    backend_ = std::make_unique<HotKeyBackend>();
  // Known from the start: nothing the app does will bind a key here.
  if (desktop_.wayland && !desktop_.portal) {
    problem_ = Problem::desktopBinding;
    refused_ = true;
  }
  if (desktop_.portal) {
    connect(desktop_.portal.get(), &GlobalShortcutPortal::bound, this, [this](const QString &trigger) {
      binding_ = false;
      refused_ = false;
      portalTrigger_ = trigger;
      setState(true, Problem::none);
      Q_EMIT changed();
    });
    const auto declined = [this] {
      binding_ = false;
      refused_ = true;
      setState(false, Problem::desktopBinding);
    };
    connect(desktop_.portal.get(), &GlobalShortcutPortal::failed, this, declined);
    // No question was put to the user, so no answer of theirs is kept: a
    // desktop that asks is asked again at the next launch.
    connect(desktop_.portal.get(), &GlobalShortcutPortal::boundNothing, this, [this, declined] {
      defaults_.setString(kBoundNothingKey, portalDesktop());
      declined();
    });
    // The user took the binding away in the desktop's settings: the command
    // is back in ours, and nothing was refused that the advice would mend.
    connect(desktop_.portal.get(), &GlobalShortcutPortal::unbound, this, [this] {
      portalTrigger_.clear();
      setState(false, Problem::desktopBinding);
    });
    connect(desktop_.portal.get(), &GlobalShortcutPortal::activated, this, [this](const QString &id) {
      if (id != kPortalId)
        return;
      // A press the desktop reports proves it binds the key, whatever it answered.
      if (!registered_) {
        binding_ = false;
        refused_ = false;
        setState(true, Problem::none);
      }
      capture();
    });
  }
  current_ = asTyped(current_);
  connect(backend_.get(), &HotKeyBackend::activated, this, &ShortcutManager::pressed);
  connect(backend_.get(), &HotKeyBackend::grabLost, this, [this](const HotKeyCombination &lost) {
    if (registered_ && lost == combinationOf(current_))
      setState(false, Problem::notOnKeyboard);
  });
  connect(backend_.get(), &HotKeyBackend::keymapChanged, this, &ShortcutManager::keymapChanged);
  // Our grabs live on the application's own display: often the first to hear it went.
  connect(backend_.get(), &HotKeyBackend::connectionLost, this, [] { DisplayLoss::report(); });
}

ShortcutManager::~ShortcutManager() {
  if (registered_)
    backend_->ungrab(combinationOf(current_));
}

CaptureShortcut ShortcutManager::savedShortcut() { return CaptureShortcut::load(SettingsStore::standard()); }

CaptureShortcut ShortcutManager::asTyped(const CaptureShortcut &shortcut) const {
  if (shortcut.key.isEmpty())
    return shortcut;
  const quint32 keycode = backend_->keycodeOf(shortcut.key.toLatin1());
  return keycode ? shortcut.typing(backend_->levelZeroKeysym(keycode)) : shortcut;
}

QString ShortcutManager::statusLabel() const {
  switch (problem_) {
  case Problem::none:
    if (registered_ && !portalTrigger_.isEmpty())
      return portalTrigger_;
    if (binding_)
      return tr("%1 — waiting for the desktop").arg(current_.label());
    break;
  case Problem::desktopBinding: return desktopBindingText(captureCommand());
  case Problem::taken: return tr("%1 — in use by another app").arg(current_.label());
  case Problem::notOnKeyboard: return tr("%1 — not on this keyboard").arg(current_.label());
  case Problem::noDisplay: return tr("%1 — needs an X11 session").arg(current_.label());
  }
  return current_.label();
}

QString ShortcutManager::takeLaunchProblem(bool trayMissing) {
  switch (problem_) {
  case Problem::none: break;
  case Problem::desktopBinding:
    // Said once: nothing the app does will change it.
    if (!bindingAdviceDue())
      return {};
    defaults_.setString(kExplainedKey, QStringLiteral("1"));
    return bindingAdvice(runningProgram(desktop_.program), current_.label());
  case Problem::taken:
    if (trayMissing)
      return tr("The capture shortcut %1 is in use by another app, so it does not capture yet. To choose another, "
                "click the shortcut in Settings; start %2 again to open Settings. %2 tries %1 again whenever "
                "Settings opens.")
          .arg(current_.label(), AppIdentity::name());
    return tr("The capture shortcut %1 is in use by another app, so it does not capture yet. To choose another, "
              "open Settings from the tray menu and click the shortcut. %2 tries %1 again whenever Settings or "
              "the tray menu opens.")
        .arg(current_.label(), AppIdentity::name());
  case Problem::notOnKeyboard:
    if (trayMissing)
      return tr("The capture shortcut %1 cannot be typed on this keyboard. To choose another, click the shortcut in "
                "Settings; start %2 again to open Settings.")
          .arg(current_.label(), AppIdentity::name());
    return tr("The capture shortcut %1 cannot be typed on this keyboard. To choose another, open Settings from the "
              "tray menu and click the shortcut.")
        .arg(current_.label());
  case Problem::noDisplay: return noDisplayText();
  }
  return {};
}

bool ShortcutManager::bindingAdviceDue() const {
  return problem_ == Problem::desktopBinding && refused_ && !defaults_.contains(kExplainedKey);
}

QString ShortcutManager::bindingSentence() {
  return tr("On Wayland only the desktop can give the app a shortcut that works in every window. Bind this command "
            "to a key in your desktop's keyboard settings:");
}

QString ShortcutManager::captureCommand() const {
  return bindingCommand(runningProgram(desktop_.program), Reader::shell);
}

QString ShortcutManager::swayBinding() const {
  return desktop_.sway ? swayLine(runningProgram(desktop_.program)) : QString();
}

QString ShortcutManager::noDisplayText() const {
  return tr("Global shortcuts need an X11 session. Bind this command to a key in your desktop's keyboard settings "
            "instead:") +
         u'\n' + captureCommand();
}

void ShortcutManager::setState(bool registered, Problem problem) {
  if (registered == registered_ && problem == problem_)
    return;
  registered_ = registered;
  problem_ = problem;
  Q_EMIT changed();
}

void ShortcutManager::registerShortcut(const CaptureShortcut &wanted) {
  if (desktop_.wayland) {
    if (!desktop_.portal)
      throw CrelError::shortcut(desktopBindingText(captureCommand()));
    if (wanted == current_ && (registered_ || binding_))
      return;
    current_ = wanted;
    current_.save(defaults_);
    setState(false, Problem::none);
    bindThroughPortal(true);
    Q_EMIT changed();
    return;
  }
  const CaptureShortcut shortcut = asTyped(wanted);
  if (registered_ && shortcut.sameCombination(current_)) {
    // The grab already covers this key; grabbing it again and releasing the
    // old one would release the only grab there is.
    if (shortcut != current_) {
      current_ = shortcut;
      current_.save(defaults_);
      Q_EMIT changed();
    }
    return;
  }
  switch (backend_->grab(combinationOf(shortcut))) {
  case HotKeyBackend::GrabResult::grabbed: break;
  case HotKeyBackend::GrabResult::noDisplay: throw CrelError::shortcut(noDisplayText());
  case HotKeyBackend::GrabResult::notOnKeyboard:
    throw CrelError::shortcut(shortcut.label() % tr(" cannot be typed on this keyboard. Choose a different shortcut. "
                                                    "Your previous shortcut is unchanged."));
  case HotKeyBackend::GrabResult::taken:
    throw CrelError::shortcut(shortcut.label() % tr(" is already used by another app or the desktop. Choose a "
                                                    "different shortcut. Your previous shortcut is unchanged."));
  }
  // The new grab is in place before the old one goes, so a failure above
  // never leaves the application without a working shortcut.
  if (registered_)
    backend_->ungrab(combinationOf(current_));
  current_ = shortcut;
  current_.save(defaults_);
  registered_ = true;
  problem_ = Problem::none;
  Q_EMIT changed();
}

void ShortcutManager::bindThroughPortal(bool chose) {
  binding_ = true;
  portalTrigger_.clear();
  if (!chose && defaults_.stringForKey(kBoundNothingKey) == portalDesktop())
    desktop_.portal->follow(kPortalId);
  else
    desktop_.portal->bind(kPortalId, tr("Capture an area"), portalTrigger(current_));
}

QString ShortcutManager::portalDesktop() const {
  return desktop_.name + QStringLiteral(", portal version ") + QString::number(desktop_.portal->version());
}

bool ShortcutManager::retry() {
  if (registered_)
    return true;
  if (desktop_.wayland) {
    if (!desktop_.portal)
      setState(false, Problem::desktopBinding);
    else if (!binding_ && problem_ == Problem::none)
      bindThroughPortal(false);
    return registered_;
  }
  const HotKeyBackend::GrabResult result = backend_->grab(combinationOf(current_));
  setState(result == HotKeyBackend::GrabResult::grabbed, problemOf(result));
  return registered_;
}

void ShortcutManager::keymapChanged() {
  const CaptureShortcut relabelled = asTyped(current_);
  const bool relabel = relabelled != current_;
  current_ = relabelled;
  // A key that left the keymap, or a grab another program held, may be back.
  retry();
  if (relabel)
    Q_EMIT changed();
}

void ShortcutManager::setOnCapture(QObject *owner, std::function<void()> onCapture) {
  captureOwner_ = owner;
  ownedCapture_ = owner != nullptr;
  onCapture_ = std::move(onCapture);
}

quint32 ShortcutManager::levelZeroKeysym(quint32 keycode) const { return backend_->levelZeroKeysym(keycode); }

QString ShortcutManager::keyName(quint32 keycode) const { return QString::fromLatin1(backend_->keyName(keycode)); }

void ShortcutManager::pressed(const HotKeyCombination &combination) {
  if (!registered_ || combination != combinationOf(current_))
    return;
  if (ShortcutRecorder *recorder = ShortcutRecorder::active()) {
    recorder->record(current_);
    return;
  }
  capture();
}

void ShortcutManager::capture() {
  if (onCapture_ && (!ownedCapture_ || captureOwner_))
    onCapture_();
}

} // namespace crel
