#include "DesktopEntry.h"

#include "platform/files/RegularFile.h"

namespace crel {

namespace {

bool isExecReserved(QChar c) { return c == u'"' || c == u'`' || c == u'$' || c == u'\\'; }

// The characters an Exec argument may hold only inside quotes.
bool needsQuoting(QChar c) { return c.isSpace() || QStringView(u"\"'\\><~|&;$*?#()`").contains(c); }

} // namespace

std::optional<DesktopEntry> DesktopEntry::read(const QString &path) {
  const std::optional<QByteArray> bytes = RegularFile::read(path, RegularFile::Links::follow);
  if (!bytes)
    return std::nullopt;
  return parse(*bytes);
}

std::optional<DesktopEntry> DesktopEntry::parse(const QByteArray &bytes) {
  DesktopEntry entry;
  bool seen = false, inEntry = false;
  for (const QByteArray &rawLine : bytes.split('\n')) {
    const QString line = QString::fromUtf8(rawLine).trimmed();
    if (line.isEmpty() || line.startsWith(u'#'))
      continue;
    if (line.startsWith(u'[')) {
      inEntry = line == QLatin1String("[Desktop Entry]");
      seen = seen || inEntry;
      continue;
    }
    const qsizetype eq = line.indexOf(u'=');
    if (!inEntry || eq <= 0)
      continue;
    const QString key = line.left(eq).trimmed();
    // The first occurrence of a key counts.
    if (!entry.values_.contains(key))
      entry.values_.insert(key, line.mid(eq + 1).trimmed());
  }
  if (!seen)
    return std::nullopt;
  return entry;
}

std::optional<QString> DesktopEntry::value(const QString &key) const {
  const auto it = values_.constFind(key);
  if (it == values_.constEnd())
    return std::nullopt;
  return unescapeString(*it);
}

QString DesktopEntry::escapeString(const QString &text) {
  QString out;
  out.reserve(text.size());
  for (const QChar c : text) {
    switch (c.unicode()) {
    case u'\\': out += QLatin1String("\\\\"); break;
    case u'\n': out += QLatin1String("\\n"); break;
    case u'\t': out += QLatin1String("\\t"); break;
    case u'\r': out += QLatin1String("\\r"); break;
    default: out += c;
    }
  }
  return out;
}

QString DesktopEntry::unescapeString(const QString &text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != u'\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    switch (text[++i].unicode()) {
    case u's': out += u' '; break;
    case u'n': out += u'\n'; break;
    case u't': out += u'\t'; break;
    case u'r': out += u'\r'; break;
    case u'\\': out += u'\\'; break;
    default: out += u'\\', out += text[i];
    }
  }
  return out;
}

std::optional<QString> DesktopEntry::execArgument(const QString &argument) {
  bool needsQuotes = argument.isEmpty();
  QString out;
  for (const QChar c : argument) {
    if (c.category() == QChar::Other_Control)
      return std::nullopt;
    needsQuotes = needsQuotes || needsQuoting(c);
    if (isExecReserved(c))
      out += u'\\';
    out += c;
    if (c == u'%')
      out += u'%';
  }
  return needsQuotes ? u'"' + out + u'"' : out;
}

std::optional<QStringList> DesktopEntry::splitExec(const QString &exec) {
  QStringList arguments;
  QString current;
  bool inArgument = false, quoted = false;
  for (qsizetype i = 0; i < exec.size(); ++i) {
    const QChar c = exec[i];
    if (c == u'%') {
      // "%%" is a literal percent sign; other field codes are the launcher's.
      if (i + 1 < exec.size() && exec[i + 1] == u'%')
        current += u'%', inArgument = true;
      ++i;
    } else if (quoted) {
      if (c == u'"') {
        quoted = false;
      } else if (c == u'\\') {
        if (i + 1 == exec.size() || !isExecReserved(exec[i + 1]))
          return std::nullopt;
        current += exec[++i];
      } else if (isExecReserved(c)) {
        return std::nullopt;
      } else {
        current += c;
      }
    } else if (c == u' ' || c == u'\t') {
      if (inArgument)
        arguments << current;
      current.clear();
      inArgument = false;
    } else if (c == u'"') {
      quoted = inArgument = true;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (quoted)
    return std::nullopt;
  if (inArgument)
    arguments << current;
  return arguments;
}

} // namespace crel
