#include "platform/desktop/BundledFonts.h"
#include "platform/text/ProcessTextRecognizer.h"
#include "platform/text/TextRecognitionError.h"
#include "platform/text/TextRecognitionLanguages.h"
#include "support/DensePage.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <unistd.h>

using namespace crel;

namespace {

// This process's children that are running the recognition helper.
int helpersRunning() {
  int count = 0;
  for (const QString &entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile stat("/proc/" + entry + "/stat");
    if (!stat.open(QIODevice::ReadOnly))
      continue;
    // pid (comm) state ppid ...
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (line.contains("(crel-text-recog") && fields.size() > 1 && fields[1].toLongLong() == ::getpid())
      ++count;
  }
  return count;
}

QString readLine(ProcessTextRecognizer &recognizer, const QImage &page) {
  QStringList words;
  for (const TextObservation &line : recognizer.recognize(page))
    for (const TextObservation::Word &word : line.words)
      words << word.text;
  return words.join(' ');
}

} // namespace

TEST(ProcessTextRecognizer, ReadsEachPageWholeInTheLanguagesOfItsLocale) {
  const QString folder = TextRecognitionLanguages::dataFolder(QProcessEnvironment::systemEnvironment());
  const struct {
    const char *locale;
    const char *data;
    QString line;
  } rows[] = {
      {"de_DE.UTF-8", "deu", "Grüße aus München: Übergröße, Äpfel und Öl."},
      {"fr_FR.UTF-8", "fra", "Déjà vu à Noël : le garçon mangea une crème brûlée."},
  };
  for (const auto &row : rows) {
    ASSERT_TRUE(QFileInfo::exists(folder + '/' + row.data + ".traineddata"))
        << row.data << " recognition data is missing from " << qPrintable(folder) << " (scripts/install-deps)";
    QProcessEnvironment environment;
    environment.insert("LANG", row.locale);
    ProcessTextRecognizer recognizer({folder, TextRecognitionLanguages::choose(environment, folder), 2});
    QImage page = test::filledImage({1400, 160}, Qt::white);
    {
      QPainter painter(&page);
      QFont font(BundledFonts::formalFamily());
      font.setPixelSize(36);
      painter.setFont(font);
      painter.setPen(Qt::black);
      painter.drawText(QPointF(40, 96), row.line);
    }
    EXPECT_EQ(readLine(recognizer, page).toStdString(), row.line.toStdString()) << row.locale;
  }
}

TEST(ProcessTextRecognizer, CancellingEndsTheHelperAtOnceAndLeavesNoProcess) {
  ProcessTextRecognizer recognizer(TesseractTextRecognizer::Options::forUser());
  const QImage page = test::densePage(test::DensePage::spreadsheet, {3000, 2500});
  std::atomic<bool> cancelled{false};
  QString error;
  std::thread reader([&] {
    try {
      recognizer.recognize(page, cancelled);
    } catch (const TextRecognitionError &e) {
      error = e.description();
    }
  });
  // Told to stop once the helper is deep in the page.
  for (int i = 0; i < 400 && helpersRunning() == 0; ++i)
    QThread::msleep(25);
  EXPECT_EQ(helpersRunning(), 1);
  QThread::msleep(500);
  cancelled = true;
  reader.join();
  EXPECT_EQ(error.toStdString(), "Cancelled.");
  EXPECT_EQ(helpersRunning(), 0);
}

TEST(ProcessTextRecognizer, AnswersWhatTheEngineAnswersAndItsErrorsAsSentences) {
  ProcessTextRecognizer recognizer(TesseractTextRecognizer::Options::forUser());
  EXPECT_TRUE(recognizer.recognize(test::filledImage({400, 300}, Qt::white)).empty());
  EXPECT_TRUE(recognizer.recognize(QImage()).empty());
  QTemporaryDir empty;
  ProcessTextRecognizer missing({empty.path(), "eng", 1});
  QImage page = test::filledImage({600, 120}, Qt::white);
  {
    QPainter painter(&page);
    QFont font(BundledFonts::formalFamily());
    font.setPixelSize(32);
    painter.setFont(font);
    painter.drawText(QPointF(20, 70), "harbor garden station");
  }
  EXPECT_EQ(readLine(recognizer, page).toStdString(), "harbor garden station");
  try {
    missing.recognize(page);
    ADD_FAILURE() << "read without data";
  } catch (const TextRecognitionError &error) {
    EXPECT_TRUE(error.description().contains("tesseract-ocr-eng")) << qPrintable(error.description());
  }
}
