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
#include <optional>
#include <thread>
#include <vector>

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

QString readLine(TextRecognizer &recognizer, const QImage &page) {
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

// This process's user: a locale and a recognition data folder, until the end
// of the scope; the shared recogniser starts anew for them.
struct User {
  User(const char *locale, const QString &dataFolder) {
    for (const char *name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG", "TESSDATA_PREFIX"}) {
      saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
      qunsetenv(name);
    }
    qputenv("LANG", locale);
    qputenv("TESSDATA_PREFIX", QFile::encodeName(dataFolder));
    TextRecognizer::setShared(nullptr);
  }
  ~User() {
    TextRecognizer::setShared(nullptr);
    for (const auto &[name, value] : saved)
      value ? qputenv(name, *value) : qunsetenv(name);
  }
  std::vector<std::pair<const char *, std::optional<QByteArray>>> saved;
};

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

// In the data its user has installed at the moment each page is read; data
// copied in between two pages is read from the second on.
TEST(ProcessTextRecognizer, ReadsEachPageWholeInTheLanguagesOfItsLocale) {
  const QString system = TextRecognitionLanguages::dataFolder(QProcessEnvironment::systemEnvironment());
  const QString german = "Grüße aus München: Übergröße, Äpfel und Öl.";
  const struct {
    const char *locale;
    // The data copied into the folder before each page; "deu/2" is the first
    // half of deu's, as while `cp` runs. Every page reads, the last `line`.
    QStringList pages;
    QString line;
  } rows[] = {
      {"de_DE.UTF-8", {"deu,eng"}, german},
      {"fr_FR.UTF-8", {"fra,eng"}, "Déjà vu à Noël : le garçon mangea une crème brûlée."},
      {"de_DE.UTF-8", {"eng", "deu"}, german},
      {"de_DE.UTF-8", {"fra", "deu/2", "deu"}, german},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(qPrintable(row.locale + QString(" with ") + row.pages.join(" then ")));
    QTemporaryDir folder;
    const User user(row.locale, folder.path());
    QImage page = test::filledImage({1400, 160}, Qt::white);
    {
      QPainter painter(&page);
      QFont font(BundledFonts::formalFamily());
      font.setPixelSize(36);
      painter.setFont(font);
      painter.setPen(Qt::black);
      painter.drawText(QPointF(40, 96), row.line);
    }
    for (qsizetype i = 0; i < row.pages.size(); ++i) {
      for (const QString &data : row.pages[i].split(',')) {
        QFile source(system + '/' + data.section('/', 0, 0) + ".traineddata");
        ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << qPrintable(source.fileName()) << " (scripts/install-deps)";
        const QByteArray bytes = source.readAll();
        test::writeFile(folder.filePath(QFileInfo(source).fileName()),
                        data.endsWith("/2") ? bytes.left(bytes.size() / 2) : bytes);
      }
      const QString read = readLine(*TextRecognizer::shared(), page);
      EXPECT_TRUE(i + 1 < row.pages.size() ? !read.isEmpty() : read == row.line) << i << ": " << qPrintable(read);
    }
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
