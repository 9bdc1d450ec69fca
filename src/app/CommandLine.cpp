#include "CommandLine.h"

#include "platform/desktop/AutostartLoginItem.h"

#include <QFile>
#include <QFileInfo>

namespace crel {

CommandLine::CommandLine(QStringList arguments) : arguments_(std::move(arguments)) {}

CommandLine CommandLine::fromArgv(int argc, char **argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i)
    arguments << QFile::decodeName(argv[i]);
  return CommandLine(arguments);
}

bool CommandLine::has(const QString &flag) const { return arguments_.indexOf(flag, 1) > 0; }

std::optional<QString> CommandLine::valueAfter(const QString &flag) const {
  const qsizetype at = arguments_.indexOf(flag, 1);
  if (at <= 0 || at + 1 >= arguments_.size())
    return std::nullopt;
  return arguments_[at + 1];
}

std::optional<QString> CommandLine::pathAfter(const QString &flag) const {
  const std::optional<QString> value = valueAfter(flag);
  if (!value)
    return std::nullopt;
  return QFileInfo(*value).absoluteFilePath();
}

bool CommandLine::isLoginLaunch(const QStringList &arguments) {
  return arguments.indexOf(QLatin1String(AutostartLoginItem::loginArgument), 1) > 0;
}

} // namespace crel
