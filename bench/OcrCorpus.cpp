#include "OcrCorpus.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>

namespace crel::bench {

namespace {

const char *const kProseLicence = "/usr/share/common-licenses/GPL-3";
const char *const kProseNotes = "/usr/share/doc/dpkg/spec/triggers.txt";
const char *const kCodeZlib = "/usr/include/zlib.h";
const char *const kCodeTesseract = "/usr/include/tesseract/baseapi.h";
// Tables of C types: short aligned columns of identifiers and numbers.
const char *const kCodeIntTypes = "/usr/include/stdint.h";
const char *const kCodeSysTypes = "/usr/include/x86_64-linux-gnu/bits/types.h";

struct Palette {
  QColor background, text, comment, titleBar, titleText;
};

const Palette kLight{QColor(0xff, 0xff, 0xff), QColor(0x1f, 0x1f, 0x1f), QColor(0x6a, 0x73, 0x7d),
                     QColor(0xe8, 0xe8, 0xea), QColor(0x30, 0x30, 0x30)};
const Palette kDark{QColor(0x1e, 0x1e, 0x1e), QColor(0xd4, 0xd4, 0xd4), QColor(0x6a, 0x99, 0x55),
                    QColor(0x32, 0x32, 0x34), QColor(0xcc, 0xcc, 0xcc)};

struct Window {
  QRect frame;
  const char *file;
  int firstLine;
  bool code;
  bool dark;
  int textPixels;
};

struct Word {
  QString text;
  QRectF box;
};

bool isWord(QStringView token) {
  return std::any_of(token.begin(), token.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

QStringList linesOf(const char *path) {
  QFile file(QString::fromLatin1(path));
  if (!file.open(QIODevice::ReadOnly))
    return {};
  QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
  for (QString &line : lines) {
    QString expanded;
    for (QChar c : line) {
      if (c == '\t')
        expanded += QString(8 - expanded.size() % 8, ' ');
      else
        expanded += c;
    }
    line = expanded;
  }
  return lines;
}

bool isComment(const QString &line) {
  const QString t = line.trimmed();
  return t.startsWith("/*") || t.startsWith("*") || t.startsWith("//") || t.startsWith('#');
}

QFont fontFor(bool code, int pixels) {
  QFont font(code ? "DejaVu Sans Mono" : "DejaVu Sans");
  font.setPixelSize(pixels);
  return font;
}

// Draws one window: a title bar naming the file, then the file's lines from
// `firstLine`, each cut after its last whole token that fits.
bool drawWindow(QPainter &painter, const Window &w, std::vector<Word> &words) {
  const QStringList lines = linesOf(w.file);
  if (lines.isEmpty())
    return false;
  const Palette &palette = w.dark ? kDark : kLight;
  const double unit = w.textPixels / 14.0;
  const QRectF frame(w.frame);
  const double titleHeight = std::round(30 * unit);
  painter.fillRect(frame, palette.background);
  painter.fillRect(QRectF(frame.topLeft(), QSizeF(frame.width(), titleHeight)), palette.titleBar);
  auto drawTokens = [&](const QFont &font, QColor color, QPointF baseline, const QString &line, double right) {
    const QFontMetricsF metrics(font);
    static const QRegularExpression token("\\S+");
    qsizetype end = 0;
    std::vector<Word> fitted;
    for (auto it = token.globalMatch(line); it.hasNext();) {
      const auto m = it.next();
      const double x1 = baseline.x() + metrics.horizontalAdvance(line.left(m.capturedEnd()));
      if (x1 > right)
        break;
      end = m.capturedEnd();
      if (isWord(m.capturedView())) {
        const double x0 = baseline.x() + metrics.horizontalAdvance(line.left(m.capturedStart()));
        fitted.push_back({m.captured(), QRectF(x0, baseline.y() - metrics.ascent(), x1 - x0, metrics.height())});
      }
    }
    if (end == 0)
      return;
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(baseline, line.left(end));
    words.insert(words.end(), fitted.begin(), fitted.end());
  };
  const QFont titleFont = fontFor(false, int(std::round(13 * unit)));
  const QString title =
      QFileInfo(QString::fromLatin1(w.file)).fileName() + " \u2014 " + QFileInfo(QString::fromLatin1(w.file)).path();
  const double titleWidth = QFontMetricsF(titleFont).horizontalAdvance(title);
  drawTokens(titleFont, palette.titleText,
             QPointF(frame.center().x() - titleWidth / 2, frame.top() + titleHeight * 0.68), title, frame.right());

  const QFont font = fontFor(w.code, w.textPixels);
  const double lineHeight = std::round(w.textPixels * (w.code ? 1.4 : 1.5));
  const double padding = std::round(12 * unit);
  const double ascent = QFontMetricsF(font).ascent();
  double top = frame.top() + titleHeight + padding;
  for (int i = w.firstLine; i < lines.size() && top + lineHeight <= frame.bottom() - padding; ++i, top += lineHeight) {
    const QString &line = lines[i];
    const QColor color = w.code && isComment(line) ? palette.comment : palette.text;
    drawTokens(font, color, QPointF(frame.left() + padding, top + ascent), line, frame.right() - padding);
  }
  return true;
}

QStringList visibleWords(const std::vector<Word> &words) {
  QStringList texts;
  for (const Word &word : words)
    texts.push_back(word.text);
  return texts;
}

OcrPage page(const QString &name, QSize size, const Window &window) {
  OcrPage out{name, QImage(size, QImage::Format_ARGB32_Premultiplied), {}};
  out.image.fill(Qt::black);
  std::vector<Word> words;
  QPainter painter(&out.image);
  painter.setRenderHint(QPainter::TextAntialiasing);
  Window w = window;
  w.frame = QRect(QPoint(0, 0), size);
  if (!drawWindow(painter, w, words))
    return {};
  out.words = visibleWords(words);
  return out;
}

} // namespace

std::vector<OcrPage> documentationPages() {
  const QSize one(1440, 900), two(2880, 1800);
  const std::vector<OcrPage> all = {
      page("prose-1x-light", one, {{}, kProseLicence, 0, false, false, 14}),
      page("prose-1x-dark", one, {{}, kProseNotes, 0, false, true, 14}),
      page("prose-2x-light", two, {{}, kProseNotes, 60, false, false, 28}),
      page("prose-2x-dark", two, {{}, kProseLicence, 120, false, true, 28}),
      page("code-1x-light", one, {{}, kCodeZlib, 200, true, false, 13}),
      page("code-1x-dark", one, {{}, kCodeTesseract, 100, true, true, 13}),
      page("code-2x-light", two, {{}, kCodeTesseract, 300, true, false, 26}),
      page("code-2x-dark", two, {{}, kCodeZlib, 900, true, true, 26}),
      page("types-2x-light", two, {{}, kCodeIntTypes, 20, true, false, 26}),
      page("types-2x-dark", two, {{}, kCodeSysTypes, 20, true, true, 26}),
  };
  std::vector<OcrPage> pages;
  for (const OcrPage &p : all)
    if (!p.image.isNull())
      pages.push_back(p);
  return pages;
}

OcrPage busyDesktop() {
  OcrPage out{"desktop-5k", QImage(5120, 2880, QImage::Format_ARGB32_Premultiplied), {}};
  QPainter painter(&out.image);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient sky(0, 0, 5120, 2880);
  sky.setColorAt(0, QColor(0x24, 0x3b, 0x55));
  sky.setColorAt(1, QColor(0x14, 0x1e, 0x30));
  painter.fillRect(out.image.rect(), sky);
  // Painted in order; a later window hides what it covers.
  const Window windows[] = {
      {QRect(80, 140, 2400, 1500), kCodeTesseract, 40, true, true, 24},
      {QRect(1900, 320, 2000, 1400), kProseLicence, 30, false, false, 28},
      {QRect(4000, 140, 1060, 1240), kCodeZlib, 1300, true, false, 22},
      {QRect(300, 1720, 2200, 1100), kCodeZlib, 600, true, true, 24},
      {QRect(2700, 1500, 2340, 1320), kProseNotes, 20, false, false, 26},
      {QRect(2200, 1120, 900, 520), kProseNotes, 200, false, true, 26},
  };
  std::vector<std::pair<QRect, std::vector<Word>>> drawn;
  for (const Window &window : windows) {
    std::vector<Word> words;
    if (drawWindow(painter, window, words))
      drawn.push_back({window.frame, std::move(words)});
  }
  // The top bar, drawn last: nothing covers it.
  painter.fillRect(QRect(0, 0, 5120, 56), QColor(0x10, 0x10, 0x12));
  std::vector<Word> bar;
  const QFont barFont = fontFor(false, 26);
  painter.setFont(barFont);
  painter.setPen(QColor(0xee, 0xee, 0xee));
  const QFontMetricsF metrics(barFont);
  double x = 40;
  for (const QString label : {"Activities", "Terminal", "Files", "Documentation", "Mon 6 Dec 20:45"}) {
    painter.drawText(QPointF(x, 38), label);
    for (const QString &token : label.split(' '))
      bar.push_back({token, {}});
    x += metrics.horizontalAdvance(label) + 90;
  }
  drawn.push_back({QRect(0, 0, 5120, 56), bar});
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    for (const Word &word : drawn[i].second) {
      const bool covered = std::any_of(drawn.begin() + std::ptrdiff_t(i) + 1, drawn.end(),
                                       [&](const auto &later) { return QRectF(later.first).intersects(word.box); });
      if (!covered)
        out.words.push_back(word.text);
    }
  }
  return out;
}

int matchedWords(const QStringList &found, const QStringList &truth) {
  QHash<QString, int> remaining;
  for (const QString &word : truth)
    ++remaining[word];
  int matched = 0;
  for (const QString &word : found) {
    auto it = remaining.find(word);
    if (it != remaining.end() && it.value() > 0) {
      --it.value();
      ++matched;
    }
  }
  return matched;
}

QStringList commandLineArguments(const TesseractTextRecognizer::Options &options) {
  QStringList arguments{"-l", options.language, "--oem", "1", "--psm", "3", "--dpi", "96"};
  if (!options.dataPath.isEmpty())
    arguments << "--tessdata-dir" << options.dataPath;
  for (const auto &[name, value] : TesseractTextRecognizer::settings())
    arguments << "-c" << QString::fromLatin1(name) + '=' + QString::fromLatin1(value);
  return arguments;
}

} // namespace crel::bench
