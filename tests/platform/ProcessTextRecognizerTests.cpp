#include "platform/desktop/BundledFonts.h"
#include "platform/files/ResourceLocator.h"
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
#include <functional>
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

// One line of text in the formal font.
QImage linePage(const QString &text) {
  QImage page = test::filledImage({600, 120}, Qt::white);
  QPainter painter(&page);
  QFont font(BundledFonts::formalFamily());
  font.setPixelSize(32);
  painter.setFont(font);
  painter.drawText(QPointF(20, 70), text);
  return page;
}

} // namespace

// Whatever becomes of the helper, its page is a recognition failure that
// leaves no process behind, and the next page reads once the helper works.
TEST(ProcessTextRecognizer, AHelperThatFailsLosesOnlyItsPage) {
  const QString real = ResourceLocator::bundleDirectory() + "/bin/crel-text-recognizer";
  ASSERT_TRUE(QFileInfo(real).isExecutable()) << qPrintable(real);
  const QString missing = "The text recognition helper crel-text-recognizer is missing. Reinstall Crel.";
  const QString stopped = "The text recognition engine stopped unexpectedly.";
  QTemporaryDir dir;
  const QString helper = dir.filePath("crel-text-recognizer"), once = dir.filePath("once"),
                answer = dir.filePath("answer");
  const auto install = [&](const QFileDevice::Permissions mode) {
    QFile::remove(helper);
    ASSERT_TRUE(QFile::copy(real, helper));
    ASSERT_TRUE(QFile::setPermissions(helper, mode));
  };
  const QFileDevice::Permissions runnable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
  // A stand-in that misbehaves on its first page and is the real helper after.
  const auto standIn = [&](const QString &misbehaviour) {
    test::writeFile(helper, ("#!/bin/sh\nif [ ! -e '" + once + "' ]; then\n  : >'" + once + "'\n  " + misbehaviour +
                             "\nfi\nexec '" + real + "'\n")
                                .toUtf8());
    ASSERT_TRUE(QFile::setPermissions(helper, runnable));
  };
  const struct {
    const char *name;
    std::function<void()> breakIt, mend;
    QString error;
  } rows[] = {
      {"missing", [&] { QFile::remove(helper); }, [&] { install(runnable); }, missing},
      {"not executable", [&] { install(QFileDevice::ReadOwner | QFileDevice::WriteOwner); },
       [&] { install(runnable); }, missing},
      {"killed mid-page", [&] { standIn("head -c 1000 >/dev/null; kill -KILL $$"); }, [] {}, stopped},
      {"a truncated answer", [&] { standIn("'" + real + "' >'" + answer + "'; head -c 40 '" + answer + "'; exit 0"); },
       [] {}, stopped},
  };
  const QImage page = linePage("harbor garden station");
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    QFile::remove(once);
    row.breakIt();
    ProcessTextRecognizer recognizer(TesseractTextRecognizer::Options::forUser(), helper);
    try {
      recognizer.recognize(page);
      ADD_FAILURE() << "read with a broken helper";
    } catch (const TextRecognitionError &error) {
      EXPECT_EQ(error.description().toStdString(), row.error.toStdString());
    }
    EXPECT_EQ(helpersRunning(), 0);
    row.mend();
    EXPECT_EQ(readLine(recognizer, page).toStdString(), "harbor garden station");
  }
}

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
  const QImage page = linePage("harbor garden station");
  EXPECT_EQ(readLine(recognizer, page).toStdString(), "harbor garden station");
  try {
    missing.recognize(page);
    ADD_FAILURE() << "read without data";
  } catch (const TextRecognitionError &error) {
    EXPECT_TRUE(error.description().contains("tesseract-ocr-eng")) << qPrintable(error.description());
  }
}
