#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace crel {

// The process's own arguments, copied before Qt removes the ones it knows
// (-platform, -style, -reverse...). Switches match whole arguments exactly:
// no "=" forms, no abbreviations, no combined flags.
class CommandLine {
public:
  // `arguments` starts with the program path.
  explicit CommandLine(QStringList arguments);
  static CommandLine fromArgv(int argc, char **argv);

  const QStringList &arguments() const { return arguments_; }
  bool has(const QString &flag) const;
  // The argument after the first occurrence of `flag`, unchanged (it may
  // begin with "--"); absent when `flag` is missing or last.
  std::optional<QString> valueAfter(const QString &flag) const;
  // valueAfter as an absolute path, resolved against the current folder.
  std::optional<QString> pathAfter(const QString &flag) const;

  // Started by the desktop at login: the autostart entry's marker argument.
  bool isLoginLaunch() const { return isLoginLaunch(arguments_); }
  static bool isLoginLaunch(const QStringList &arguments);

private:
  QStringList arguments_;
};

} // namespace crel
