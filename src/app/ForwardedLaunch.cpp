#include "ForwardedLaunch.h"

#include "LaunchMode.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <utility>

namespace crel {

namespace {

constexpr std::array<std::pair<ForwardedLaunch::Command, QLatin1String>, 3> commandNames{{
    {ForwardedLaunch::Command::reopen, QLatin1String("reopen")},
    {ForwardedLaunch::Command::open, QLatin1String("open")},
    {ForwardedLaunch::Command::capture, QLatin1String("capture")},
}};

// Options whose value names no file: Qt's own, an X session manager's
// restart options, and our switches that take a value (in their mode or not).
bool takesValue(const QString &option) {
  static const QStringList options{QStringLiteral("-platform"),
                                   QStringLiteral("-platformtheme"),
                                   QStringLiteral("-platformpluginpath"),
                                   QStringLiteral("-plugin"),
                                   QStringLiteral("-display"),
                                   QStringLiteral("-style"),
                                   QStringLiteral("-stylesheet"),
                                   QStringLiteral("-geometry"),
                                   QStringLiteral("-qwindowgeometry"),
                                   QStringLiteral("-title"),
                                   QStringLiteral("-qwindowtitle"),
                                   QStringLiteral("-qwindowicon"),
                                   QStringLiteral("-name"),
                                   QStringLiteral("-session"),
                                   QStringLiteral("--sm-client-id"),
                                   QStringLiteral("--sm-config-prefix"),
                                   QStringLiteral("--sm-client-state-file")};
  return options.contains(option) || switchTakesValue(option);
}

std::optional<QJsonObject> parseObject(const QByteArray &line, qsizetype limit) {
  if (line.size() > limit)
    return std::nullopt;
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(line.trimmed(), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject())
    return std::nullopt;
  return document.object();
}

// A whole number from 1 to `largest` that a double holds exactly; 0 when
// absent, none when anything else.
std::optional<qint64> positiveWhole(const QJsonValue &value, double largest) {
  if (value.isUndefined())
    return 0;
  const double number = value.toDouble(-1);
  if (!value.isDouble() || number < 1 || number > largest || number != double(qint64(number)))
    return std::nullopt;
  return qint64(number);
}

} // namespace

std::optional<ForwardedLaunch> ForwardedLaunch::fromCommandLine(const CommandLine &commandLine,
                                                                const QString &currentFolder) {
  if (commandLine.isLoginLaunch())
    return std::nullopt;
  ForwardedLaunch request;
  const QStringList &arguments = commandLine.arguments();
  const QDir base(currentFolder);
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString &argument = arguments[i];
    // Unknown switches are passed over; a value is never a file.
    if (argument.startsWith(QLatin1Char('-'))) {
      if (takesValue(argument))
        ++i;
      continue;
    }
    request.paths << QDir::cleanPath(base.absoluteFilePath(argument));
  }
  if (!request.paths.isEmpty())
    request.command = Command::open;
  else if (commandLine.has(QStringLiteral("--capture")))
    request.command = Command::capture;
  if (request.paths.size() > maxPaths) {
    request.notOpened = request.paths.size() - maxPaths;
    request.paths.resize(maxPaths);
  }
  // The line holds the first ones; the rest count.
  while (!request.paths.isEmpty() && request.encode().isEmpty()) {
    request.paths.removeLast();
    ++request.notOpened;
  }
  return request;
}

QByteArray ForwardedLaunch::encode() const {
  if (paths.size() > maxPaths)
    return {};
  QJsonObject object;
  object.insert(QStringLiteral("v"), 1);
  for (const auto &[value, name] : commandNames)
    if (value == command)
      object.insert(QStringLiteral("cmd"), QString(name));
  object.insert(QStringLiteral("paths"), QJsonArray::fromStringList(paths));
  if (notOpened > 0)
    object.insert(QStringLiteral("notOpened"), double(notOpened));
  if (deadline > 0)
    object.insert(QStringLiteral("deadline"), double(deadline));
  QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
  return line.size() > maxLineBytes ? QByteArray() : line;
}

std::optional<ForwardedLaunch> ForwardedLaunch::decode(const QByteArray &line) {
  const std::optional<QJsonObject> object = parseObject(line, maxLineBytes);
  if (!object || object->value(QStringLiteral("v")) != QJsonValue(1))
    return std::nullopt;
  ForwardedLaunch request;
  const QJsonValue command = object->value(QStringLiteral("cmd"));
  bool known = false;
  for (const auto &[value, name] : commandNames)
    if (command == QJsonValue(QString(name))) {
      request.command = value;
      known = true;
    }
  if (!known)
    return std::nullopt;
  const QJsonValue paths = object->value(QStringLiteral("paths"));
  if (!paths.isUndefined()) {
    if (!paths.isArray() || paths.toArray().size() > maxPaths)
      return std::nullopt;
    for (const QJsonValue &path : paths.toArray()) {
      // A path relative to another process's folder means nothing here.
      if (!path.isString() || !QDir::isAbsolutePath(path.toString()))
        return std::nullopt;
      request.paths << path.toString();
    }
  }
  const std::optional<qint64> notOpened = positiveWhole(object->value(QStringLiteral("notOpened")), 1e9);
  // Milliseconds on the monotonic clock.
  const std::optional<qint64> deadline = positiveWhole(object->value(QStringLiteral("deadline")), 9007199254740992.0);
  if (!notOpened || !deadline)
    return std::nullopt;
  request.notOpened = qsizetype(*notOpened);
  request.deadline = *deadline;
  const bool files = !request.paths.isEmpty() || request.notOpened > 0;
  if ((request.command == Command::open) != files)
    return std::nullopt;
  return request;
}

std::optional<qint64> ForwardedLaunch::answerWithinMs() const {
  if (deadline <= 0)
    return std::nullopt;
  QDeadlineTimer timer;
  timer.setDeadline(deadline);
  return timer.remainingTime() - answerMarginMs;
}

bool ForwardedLaunch::isLate() const {
  const std::optional<qint64> left = answerWithinMs();
  return left && *left <= 0;
}

QByteArray ForwardedLaunch::encodeReply(bool ok) { return ok ? "{\"ok\":true}\n" : "{\"ok\":false}\n"; }

QByteArray ForwardedLaunch::encodeAcceptance() { return "{\"accepted\":true}\n"; }

bool ForwardedLaunch::isAcceptance(const QByteArray &line) {
  const std::optional<QJsonObject> object = parseObject(line, 256);
  return object && object->value(QStringLiteral("accepted")) == QJsonValue(true);
}

std::optional<bool> ForwardedLaunch::decodeReply(const QByteArray &line) {
  const std::optional<QJsonObject> object = parseObject(line, 256);
  if (!object || !object->value(QStringLiteral("ok")).isBool())
    return std::nullopt;
  return object->value(QStringLiteral("ok")).toBool();
}

} // namespace crel
