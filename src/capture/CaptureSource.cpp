#include "CaptureSource.h"

#include <QLocale>
#include <QStringList>
#include <QTextBoundaryFinder>

namespace crel {

namespace {

bool isUnsafe(char32_t c) {
  if (c == U'/' || c == U':' || c == U'\\')
    return true;
  const QChar::Category category = QChar::category(c);
  return category == QChar::Other_Control || category == QChar::Other_Format;
}

QString trimDotsAndSpaces(const QString &text) {
  qsizetype begin = 0, end = text.size();
  auto trimmable = [](QChar c) { return c == u'.' || c == u' '; };
  while (begin < end && trimmable(text[begin]))
    ++begin;
  while (end > begin && trimmable(text[end - 1]))
    --end;
  return text.mid(begin, end - begin);
}

} // namespace

CaptureSource CaptureSource::current(const std::optional<RunningApplication> &application,
                                     WindowServerInfo &windowServer) {
  if (!application)
    return {};
  CaptureSource source;
  source.applicationName = application->localizedName;
  for (const WindowInfo &window : windowServer.windowsFrontToBack()) {
    const bool owned = application->processIdentifier ? window.ownerPID == application->processIdentifier
                                                      : window.window == application->window;
    if (owned && window.layer == 0 && window.name && !window.name->isEmpty()) {
      source.windowTitle = *window.name;
      break;
    }
  }
  return source;
}

QString CaptureSource::safeComponent(const QString &text, int byteLimit) {
  // Every unsafe code point becomes one space.
  QString replaced;
  replaced.reserve(text.size());
  for (char32_t c : text.toUcs4()) {
    if (isUnsafe(c))
      replaced += u' ';
    else
      replaced += QString::fromUcs4(&c, 1);
  }
  // Only U+0020 collapses; a no-break space is kept.
  const QString collapsed = replaced.split(u' ', Qt::SkipEmptyParts).join(u' ');
  const QString trimmed = trimDotsAndSpaces(collapsed);

  QString cut;
  qsizetype bytes = 0;
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, trimmed);
  qsizetype start = 0;
  for (qsizetype next = finder.toNextBoundary(); next != -1; next = finder.toNextBoundary()) {
    const QStringView cluster = QStringView(trimmed).mid(start, next - start);
    const qsizetype size = cluster.toUtf8().size();
    if (bytes + size > byteLimit)
      break;
    bytes += size;
    cut += cluster;
    start = next;
  }
  return trimDotsAndSpaces(cut);
}

QString CaptureSource::filenameStem(const QDateTime &date) const {
  const QString title = safeComponent(windowTitle, 120);
  const QString app = safeComponent(applicationName, 40);
  QString stem;
  if (!title.isEmpty()) {
    stem = title;
    if (!app.isEmpty() && !title.contains(app, Qt::CaseInsensitive))
      stem += QStringLiteral(" - ") + app;
  } else {
    stem = app.isEmpty() ? QStringLiteral("Crel") : app;
  }
  return stem + QStringLiteral(" - ") +
         QLocale::c().toString(date.toLocalTime(), QStringLiteral("yyyy-MM-dd HH.mm.ss"));
}

} // namespace crel
