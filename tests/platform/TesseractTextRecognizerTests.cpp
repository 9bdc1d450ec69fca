#include "platform/desktop/BundledFonts.h"
#include "platform/text/TesseractTextRecognizer.h"
#include "platform/text/TextRecognitionError.h"
#include "support/DensePage.h"
#include "support/TestSupport.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include <sys/resource.h>

using namespace crel;

namespace {

// One recogniser for the suite, ended by the test environment before the
// process exits: a static would end its engines after Tesseract's globals.
std::unique_ptr<TesseractTextRecognizer> gShared;

class SharedRecognizer : public ::testing::Environment {
public:
  void TearDown() override { gShared.reset(); }
};
const auto *const kSharedRecognizer = ::testing::AddGlobalTestEnvironment(new SharedRecognizer);

TesseractTextRecognizer &recognizer() {
  if (!gShared)
    gShared = std::make_unique<TesseractTextRecognizer>();
  return *gShared;
}

struct Drawn {
  QString text;
  QRectF ink; // where the glyphs are
};

// Draws words of one line and remembers each word's ink box.
void drawLine(QPainter &painter, std::vector<Drawn> &drawn, const QString &line, QPointF baseline, int pixels,
              QColor color) {
  QFont font(BundledFonts::formalFamily());
  font.setPixelSize(pixels);
  painter.setFont(font);
  painter.setPen(color);
  painter.drawText(baseline, line);
  const QFontMetricsF metrics(font);
  double x = baseline.x();
  for (const QString &word : line.split(' ')) {
    drawn.push_back({word, metrics.tightBoundingRect(word).translated(x, baseline.y())});
    x += metrics.horizontalAdvance(word + ' ');
  }
}

std::vector<std::pair<QString, geom::Rect>> words(const std::vector<TextObservation> &lines) {
  std::vector<std::pair<QString, geom::Rect>> out;
  for (const auto &line : lines)
    for (const auto &word : line.words)
      out.push_back({word.text, word.rect});
  return out;
}

// Every expected word is read from `image` at least as often as drawn.
void expectRead(const QImage &image, const std::map<QString, int> &expected, const char *page) {
  std::map<QString, int> found;
  for (const auto &[text, rect] : words(recognizer().recognize(image)))
    ++found[text];
  for (const auto &[text, count] : expected)
    EXPECT_GE(found[text], count) << page << ": " << qPrintable(text);
}

} // namespace

TEST(TesseractTextRecognizer, FindsDarkAndLightTextAtItsPlace) {
  QImage image = test::filledImage({1200, 420}, Qt::white);
  std::vector<Drawn> drawn;
  {
    QPainter painter(&image);
    drawLine(painter, drawn, "Quarterly budget review", {40, 80}, 32, Qt::black);
    drawLine(painter, drawn, "Second line of text", {40, 150}, 24, QColor(0x44, 0x44, 0x44));
    painter.fillRect(QRect(640, 30, 480, 48), QColor(0x2f, 0x6f, 0xdf));
    drawLine(painter, drawn, "Selected row", {660, 62}, 24, Qt::white);
    painter.fillRect(QRect(0, 230, 1200, 120), QColor(0x1e, 0x1e, 0x1e));
    drawLine(painter, drawn, "Dark theme panel", {60, 300}, 20, QColor(0xd0, 0xd0, 0xd0));
    // Small buttons whose text sits close to their edges: dark, and light grey.
    painter.fillRect(QRect(40, 370, 150, 30), QColor(0x33, 0x33, 0x33));
    drawLine(painter, drawn, "Deploy now", {50, 391}, 17, Qt::white);
    painter.fillRect(QRect(240, 370, 150, 30), QColor(0xe4, 0xe6, 0xea));
    drawLine(painter, drawn, "Cancel", {254, 391}, 17, Qt::black);
  }
  const auto found = words(recognizer().recognize(image));
  QStringList foundTexts;
  for (const auto &[text, rect] : found)
    foundTexts.push_back(text);
  if (qEnvironmentVariableIsSet("CREL_TEST_SAVE_IMAGES"))
    image.save(qEnvironmentVariable("CREL_TEST_SAVE_IMAGES") + "/dark-and-light.png");
  ASSERT_EQ(found.size(), drawn.size()) << qPrintable(foundTexts.join(' '));
  std::map<QString, geom::Rect> byText(found.begin(), found.end());
  for (const Drawn &d : drawn) {
    ASSERT_TRUE(byText.count(d.text)) << qPrintable(d.text);
    const geom::Rect &r = byText[d.text];
    EXPECT_NEAR(r.minX(), d.ink.left(), 3) << qPrintable(d.text);
    EXPECT_NEAR(r.maxX(), d.ink.right(), 3) << qPrintable(d.text);
    EXPECT_NEAR(r.minY(), d.ink.top(), 3) << qPrintable(d.text);
    EXPECT_NEAR(r.maxY(), d.ink.bottom(), 3) << qPrintable(d.text);
  }
}

TEST(TesseractTextRecognizer, ReadsATallImageInStripsWithEveryWordOnce) {
  // Line pitch 70 puts lines across the strip boundaries.
  QImage image = test::filledImage({1000, 2400}, Qt::white, QImage::Format_RGB32);
  const QStringList nouns = {"harbor", "garden", "station", "river", "bridge", "forest", "meadow"};
  std::map<QString, int> expected;
  {
    QPainter painter(&image);
    std::vector<Drawn> drawn;
    for (int row = 0; row < 34; ++row) {
      const QString line = QString("row %1 %2 %3").arg(row).arg(nouns[row % 7], nouns[(row + 3) % 7]);
      drawLine(painter, drawn, line, QPointF(60 + (row % 3) * 90, 40 + row * 70), 26, Qt::black);
    }
    for (const Drawn &d : drawn)
      ++expected[d.text];
  }
  TesseractTextRecognizer::Options options;
  options.engineCount = 8;
  TesseractTextRecognizer eight(options);
  std::map<QString, int> found;
  for (const auto &[text, rect] : words(eight.recognize(image)))
    ++found[text];
  EXPECT_EQ(found, expected);
}

TEST(TesseractTextRecognizer, ReadsEveryCellOfATableWithWideColumns) {
  // Short words between wide gaps: the line recogniser may score a plainly
  // drawn cell near zero, and such a word must not be lost.
  const QStringList rows = {
      "Status      Pending     Awaited   Satisfies  Remedy",
      "unpacked    never      maybe    No    postinst configure",
      "c.-failed   never      maybe    No    postinst configure (when requested)",
      "t.-awaited  yes        always   No    postinst triggered + fix awaited pkg(s)",
      "t.-awaited  no         always   No    fix awaited package(s)",
      "t.-pending  always     never    Yes   postinst triggered",
      "installed   never      never    Yes   n/a",
  };
  struct Page {
    const char *name;
    QColor background, ink;
  };
  for (const Page &page : {Page{"light", Qt::white, QColor(0x1f, 0x1f, 0x1f)},
                           Page{"dark", QColor(0x1e, 0x1e, 0x1e), QColor(0xd4, 0xd4, 0xd4)}}) {
    const int pixels = 28;
    QImage image =
        test::filledImage(QSize(2000, 100 + rows.size() * pixels * 3 / 2), page.background, QImage::Format_RGB32);
    std::map<QString, int> expected;
    {
      QPainter painter(&image);
      painter.setRenderHint(QPainter::TextAntialiasing);
      QFont font("DejaVu Sans");
      font.setPixelSize(pixels);
      painter.setFont(font);
      painter.setPen(page.ink);
      for (int i = 0; i < rows.size(); ++i) {
        painter.drawText(QPointF(24, 60 + i * pixels * 3 / 2), rows[i]);
        for (const QString &word : rows[i].split(' ', Qt::SkipEmptyParts))
          if (word != "+")
            ++expected[word];
      }
    }
    expectRead(image, expected, page.name);
  }
}

TEST(TesseractTextRecognizer, IdentifiersKeepTheirUnderscoresAndUnderlinedWordsGainNone) {
  // The engine drops underscores, splitting `__int64_t;` into "int64" and
  // "t;"; an underline is not an underscore.
  const QStringList code = {
      "typedef unsigned long int __uint64_t;",
      "__extension__ typedef signed long long int __int64_t;",
  };
  const QStringList prose = {"Read the licence terms before you share it"};
  struct Page {
    const char *name;
    QColor background, ink;
    int pixels;
    bool identifiers; // whether every identifier is expected whole
  };
  for (const Page &page : {Page{"light 2x", Qt::white, QColor(0x1f, 0x1f, 0x1f), 26, true},
                           Page{"dark 2x", QColor(0x1e, 0x1e, 0x1e), QColor(0xd4, 0xd4, 0xd4), 26, true},
                           Page{"light 1x", Qt::white, QColor(0x1f, 0x1f, 0x1f), 14, false}}) {
    const int lineHeight = page.pixels * 3 / 2;
    QImage image = test::filledImage(QSize(60 * page.pixels, 4 * page.pixels + (code.size() + 1) * lineHeight),
                                     page.background, QImage::Format_RGB32);
    std::map<QString, int> expected;
    {
      QPainter painter(&image);
      painter.setRenderHint(QPainter::TextAntialiasing);
      painter.setPen(page.ink);
      QFont mono("DejaVu Sans Mono");
      mono.setPixelSize(page.pixels);
      painter.setFont(mono);
      for (int i = 0; i < code.size(); ++i) {
        painter.drawText(QPointF(page.pixels, 2 * page.pixels + i * lineHeight), code[i]);
        for (const QString &word : code[i].split(' '))
          if (page.identifiers || !word.contains('_'))
            ++expected[word];
      }
      QFont underlined("DejaVu Sans");
      underlined.setPixelSize(page.pixels);
      underlined.setUnderline(true);
      painter.setFont(underlined);
      painter.drawText(QPointF(page.pixels, 2 * page.pixels + code.size() * lineHeight), prose[0]);
      for (const QString &word : prose[0].split(' '))
        ++expected[word];
    }
    expectRead(image, expected, page.name);
  }
}

TEST(TesseractTextRecognizer, BlankImagesAndInterfaceChromeHaveNoText) {
  // Rules, frames, check boxes, dots and a scroll bar: nothing to read.
  QImage chrome = test::filledImage({900, 500}, QColor(0xf6, 0xf6, 0xf8), QImage::Format_RGB32);
  {
    QPainter painter(&chrome);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0xc8, 0xc8, 0xcc), 1));
    for (int y = 40; y < 480; y += 44)
      painter.drawLine(20, y, 860, y);
    painter.setPen(QPen(QColor(0x88, 0x88, 0x90), 2));
    for (int i = 0; i < 8; ++i) {
      painter.drawRect(30, 52 + i * 44, 18, 18);
      painter.drawEllipse(QPointF(120 + i * 90, 470), 6, 6);
    }
    painter.fillRect(870, 20, 12, 460, QColor(0xdd, 0xdd, 0xe0));
    painter.fillRect(872, 60, 8, 120, QColor(0x99, 0x99, 0xa0));
    painter.fillRect(400, 100, 300, 180, QColor(0x30, 0x30, 0x34));
    painter.setPen(QPen(Qt::white, 2));
    painter.drawRect(420, 120, 260, 140);
  }
  const auto filled = [](QSize size, QImage::Format format, QColor colour) {
    QImage image(size, format);
    image.fill(colour);
    return image;
  };
  const std::pair<const char *, QImage> images[] = {
      {"interface chrome", chrome},
      {"white", filled({800, 600}, QImage::Format_RGB32, Qt::white)},
      {"transparent", filled({300, 200}, QImage::Format_ARGB32_Premultiplied, Qt::transparent)},
      {"null", QImage()},
      {"one pixel", filled({1, 1}, QImage::Format_RGB32, Qt::black)},
      {"a thin column", filled({2, 300}, QImage::Format_RGB32, Qt::black)},
      {"a thin row", filled({300, 2}, QImage::Format_RGB32, Qt::black)},
  };
  for (const auto &[name, image] : images) {
    QStringList found;
    for (const auto &[text, rect] : words(recognizer().recognize(image)))
      found.push_back(text);
    EXPECT_TRUE(found.isEmpty()) << name << ": " << qPrintable(found.join(' '));
  }
}

TEST(TesseractTextRecognizer, MissingLanguageDataIsAnErrorWithASentence) {
  QTemporaryDir empty;
  TesseractTextRecognizer::Options options;
  options.dataPath = empty.path();
  TesseractTextRecognizer broken(options);
  QImage image = test::filledImage({200, 100}, Qt::white, QImage::Format_RGB32);
  try {
    broken.recognize(image);
    FAIL() << "expected an error";
  } catch (const TextRecognitionError &error) {
    EXPECT_TRUE(error.description().contains("tesseract-ocr-eng")) << qPrintable(error.description());
  }
}

namespace {

double cpuSecondsSoFar() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

// The engine's layout analysis has steps whose work grows far faster than
// the page (finding tables among dense text or a grid took minutes). Work
// is counted in processor seconds, summed over all engines, as a multiple of
// what a page of ordinary prose of the same size costs, so that neither the
// load nor the speed of the machine, nor a sanitizer, moves it much. The
// spreadsheet costs 0.8 times the prose and the log 1.5 times (2.4 and 3.7
// with those steps unbounded).
TEST(TesseractTextRecognizer, DensePagesCostAFewTimesOrdinaryTextAtMost) {
  const QSize size(3000, 1250);
  const auto cost = [&](test::DensePage kind, std::size_t &found) {
    const QImage page = test::densePage(kind, size);
    const double before = cpuSecondsSoFar();
    found = words(recognizer().recognize(page)).size();
    return cpuSecondsSoFar() - before;
  };
  recognizer().recognize(test::filledImage({64, 64}, Qt::white)); // the engines start outside the count
  std::size_t proseWords = 0;
  const double prose = cost(test::DensePage::prose, proseWords);
  ASSERT_GT(proseWords, 2000u);
  const struct {
    const char *name;
    test::DensePage kind;
    double ceiling;
    std::size_t minimumWords;
  } rows[] = {
      {"spreadsheet", test::DensePage::spreadsheet, 1.5, 2000},
      {"terminal log", test::DensePage::terminalLog, 2.5, 2500},
  };
  for (const auto &row : rows) {
    std::size_t found = 0;
    const double times = cost(row.kind, found) / prose;
    EXPECT_LE(times, row.ceiling) << row.name << ", prose taking " << prose << " s";
    EXPECT_GE(found, row.minimumWords) << row.name;
  }
}

// Strips overlap, and each keeps the lines whose centre lies in its own
// core; the engine's layout of a strip can lose a line near its top that
// the strip above reads whole, and that line is then taken from there.
TEST(TesseractTextRecognizer, ALineItsOwnStripLosesIsReadOnceFromTheStripBeside) {
  const char *const lines[] = {
      "TRIGGERS",
      "========",
      "",
      "Introduction",
      "------------",
      "",
      "A dpkg trigger is a facility that allows events caused by one package",
      "but of interest to another package to be recorded and aggregated, and",
      "processed later by the interested package.  This feature simplifies",
      "various registration and system-update tasks and reduces duplication",
      "of processing.",
      "",
      "(NB: Triggers are intended for events that occur during package",
      "installation, not events that occur in general operation.)",
      "",
      "",
      "Concepts",
      "--------",
      "",
      "Each trigger is named, and at any time zero or more packages may be",
      "interested in it.",
      "",
      "We currently envisage three kinds of triggers:",
      " * Explicit triggers.  These can be activated by any program",
      "   by running dpkg-trigger (at any time, but ideally from a maintainer",
      "   script).",
      " * File triggers.  These are activated automatically by dpkg",
      "   when a matching file is installed, upgraded or removed as part",
      "   of a package.  They may also be explicitly activated by running",
      "   dpkg-trigger.",
  };
  // A dark text window with its title bar, as a screenshot shows it.
  QImage image = test::filledImage({1440, 900}, QColor(0x1e, 0x1e, 0x1e));
  {
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, 1440, 30), QColor(0x32, 0x32, 0x34));
    QFont title("DejaVu Sans");
    title.setPixelSize(13);
    painter.setFont(title);
    painter.setPen(QColor(0xcc, 0xcc, 0xcc));
    const QString name = QString::fromUtf8("triggers.txt \u2014 /usr/share/doc/dpkg/spec");
    painter.drawText(QPointF(720 - QFontMetricsF(title).horizontalAdvance(name) / 2, 20.4), name);
    QFont body("DejaVu Sans");
    body.setPixelSize(14);
    painter.setFont(body);
    painter.setPen(QColor(0xd4, 0xd4, 0xd4));
    double top = 42;
    for (const char *line : lines) {
      painter.drawText(QPointF(12, top + QFontMetricsF(body).ascent()), QString::fromLatin1(line));
      top += 21;
    }
  }
  // The page is cut, and so read, the same way whatever the number of engines.
  std::map<QString, int> first;
  for (const int engines : {1, 2, 8}) {
    TesseractTextRecognizer::Options options = TesseractTextRecognizer::Options::forUser();
    options.engineCount = engines;
    std::map<QString, int> found;
    for (const auto &[text, rect] : words(TesseractTextRecognizer(options).recognize(image)))
      ++found[text];
    if (first.empty())
      first = found;
    EXPECT_TRUE(found == first) << engines << " engines";
    for (const char *word : {"Introduction", "Concepts", "processing.", "script)."})
      EXPECT_EQ(found[word], 1) << word << ", " << engines << " engines";
  }
}
