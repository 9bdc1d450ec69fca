#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace crel {

// The [Desktop Entry] group of a freedesktop desktop entry file, and the
// escaping rules its string values and Exec lines follow.
class DesktopEntry {
public:
  // Absent when the path holds no regular file (a FIFO is never waited
  // for), it cannot be read, or it has no [Desktop Entry] group.
  static std::optional<DesktopEntry> read(const QString &path);
  static std::optional<DesktopEntry> parse(const QByteArray &bytes);

  // The value of `key` with the string escapes undone; absent when missing.
  std::optional<QString> value(const QString &key) const;
  // True only for the exact value "true".
  bool isTrue(const QString &key) const { return value(key) == QLatin1String("true"); }
  bool isFalse(const QString &key) const { return value(key) == QLatin1String("false"); }

  // String values: backslash, newline, tab and carriage return escaped.
  static QString escapeString(const QString &text);
  static QString unescapeString(const QString &text);

  // One Exec argument: as it stands when it holds no reserved character,
  // since launchers that take Exec's first word as it is (xdg-open outside a
  // desktop it knows) would run the quotes too; otherwise in double quotes,
  // with `"`, `` ` ``, `$` and `\` escaped. `%` is doubled either way. Absent
  // when the text holds a control character, which no entry can carry. Apply
  // escapeString to the whole Exec after.
  static std::optional<QString> execArgument(const QString &argument);
  // The arguments of an Exec value whose string escapes are already undone;
  // absent when the quoting is malformed.
  static std::optional<QStringList> splitExec(const QString &exec);

private:
  QHash<QString, QString> values_; // raw, still escaped
};

} // namespace crel
